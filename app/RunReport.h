// How a main-job run went: each copy judged against the world's ground truth, the totals, the
// expectations it missed, and the report and bed picture written from them.
// Threads: reentrant.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "app/JobFile.h"
#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx {

// One cut copy and how well it was registered.
struct CopyResult {
  int order = 0;  // 1 for the first copy the run cut
  CopyRecord record;
  // Distance between where the run centred the camera on mark i and where the mark truly lies,
  // as head positions in cutter units; -1 when the marks belong to no copy of the world.
  double markMiss[3] = {-1, -1, -1};
  cv::Point2d markMissBy[3];  // found minus true head position over each mark, cutter units
  int marksFound = 0;  // marks whose miss is within the expected error
  bool pass = false;   // cut, and every cut point within the expected error
};

// Judges record (the order-th copy cut) against the scenario's ground truth and expect.
CopyResult JudgeCopy(const Scenario& scenario, const CopyRecord& record, int order,
                     const Expectations& expect);

// The line printed for a copy as the run goes:
// "copy 3  column 1 row 2  marks 3/3  max 0.12 mm  rms 0.05 mm  ok".
std::string CopyLine(const CopyResult& result);

// The mode a "KestrixPrecision" value runs in, as the main job's line and report.json name it:
// "described mode" (0), "precision mode" (1 or any value holding it), "precision parts N" for a
// choice of refinements.
std::string ModeName(int precision);

struct RunTotals {
  int copiesCut = 0;
  double virtualSeconds = 0;  // machine time on the virtual clock
  double wallSeconds = 0;     // real time the run took
  cv::Point2d head;           // true head position after the dialog closed, cutter units
  bool headAtOrigin = false;  // within kOriginTolerance of (0, 0)
};

// How far from (0, 0) the head may stand and still count as back at the origin, cutter units.
inline constexpr double kOriginTolerance = 3.0;

// The ways the run fell short of expect, one sentence each; empty when it did what was expected.
std::vector<std::string> UnmetExpectations(const std::vector<CopyResult>& copies,
                                           const RunTotals& totals, const Expectations& expect);

// The summary line: copies cut, passed, virtual and wall time, where the head ended.
std::string SummaryLine(const std::vector<CopyResult>& copies, const RunTotals& totals);

// Everything about the run as JSON (docs/run.md): the plan, the expectations, each copy with its
// marks, transform and errors, the copies of the world left uncut, the totals and the outcome.
nlohmann::json ReportJson(const std::string& worldName, const MainJobSetup& setup,
                          const std::vector<CopyResult>& copies, const RunTotals& totals,
                          const std::vector<std::string>& unmet,
                          const std::string& operatorFailure);

// The bed from above (x right, y up) with the printed copies, the knife cuts and the head; each
// cut copy outlined and labelled with its order and largest error in mm, green when it passed and
// red when not; copies left uncut outlined grey. Cropped to the origin and the sheet.
cv::Mat RenderReportBed(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                        const std::vector<CopyResult>& copies);

}  // namespace kx
