// The trace job: the run dialog's cut-path trace of a world's first cut path, pictured and
// reported.
#include "app/TraceJob.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>
#include <opencv2/imgproc.hpp>

#include "app/JobOutput.h"
#include "common/Units.h"
#include "host/Database.h"
#include "run/KestrixDialog.h"
#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx {
namespace {

// The dialog with its trace open to the job, as a host's menu command would have it.
class TraceDialog final : public CKestrixDialog {
 public:
  using CKestrixDialog::CKestrixDialog;
  // Traces the selection around where the head stands; false when stopped or refused.
  bool Trace() {
    CBusyScope busy(*this);
    m_bRunning = 1;
    const bool done = DrawCutPath(m_pRegImage.get(), nullptr, cv::Point(0, 0));
    m_bRunning = 0;
    return done;
  }
};

// A target further from the path at a tenth than a cutter unit (the trace truncates each target
// toward zero) plus two camera pixels at a tenth of their size (the reference area's corners and
// size are rounded down to even pixels), along either axis, counts as missed.
double TraceTolerance(double scale) { return 1.0 + 2 * scale * 0.1; }
// Picture pixels per cutter unit, and the margin around the trace in cutter units.
constexpr double kPictureZoom = 4.0;
constexpr double kPictureMargin = 20.0;

cv::Mat RenderTrace(const std::vector<std::vector<cv::Point2d>>& expected,
                    const std::vector<CutterMove>& trail, cv::Point2d start) {
  cv::Point2d low = start, high = start;
  const auto take = [&](cv::Point2d p) {
    low = cv::Point2d(std::min(low.x, p.x), std::min(low.y, p.y));
    high = cv::Point2d(std::max(high.x, p.x), std::max(high.y, p.y));
  };
  for (const auto& sp : expected)
    for (const cv::Point2d& p : sp) take(p);
  for (const CutterMove& m : trail) take(m.to);
  const cv::Rect2d box(low.x - kPictureMargin, low.y - kPictureMargin,
                       high.x - low.x + 2 * kPictureMargin, high.y - low.y + 2 * kPictureMargin);
  const int w = std::max(1, TruncInt(box.width * kPictureZoom));
  const int h = std::max(1, TruncInt(box.height * kPictureZoom));
  cv::Mat picture(h, w, CV_8UC3, cv::Scalar(255, 255, 255));
  // Bed y up, picture rows down.
  const auto px = [&](cv::Point2d p) {
    return cv::Point(TruncInt((p.x - box.x) * kPictureZoom),
                     TruncInt((box.y + box.height - p.y) * kPictureZoom));
  };
  for (const auto& sp : expected)
    for (std::size_t i = 1; i < sp.size(); ++i)
      cv::line(picture, px(sp[i - 1]), px(sp[i]), cv::Scalar(0, 160, 0), 3, cv::LINE_AA);
  for (const CutterMove& m : trail)
    cv::line(picture, px(m.from), px(m.to), cv::Scalar(0, 0, 220), 1, cv::LINE_AA);
  cv::drawMarker(picture, px(start), cv::Scalar(200, 0, 0), cv::MARKER_CROSS, 15, 2);
  return picture;
}

}  // namespace

int RunTraceJob(const MainJobOptions& options, std::ostream& out, std::ostream& err) {
  if (options.worldFile.empty()) {
    err << "kestrix: trace needs --world FILE\n";
    return kJobBadInput;
  }
  MainJobSetup setup;
  std::string name;
  if (!ReadJob(options.worldFile, MainJobSetup{}, "", &setup, &name, err)) return kJobBadInput;
  const std::filesystem::path& outDir = options.outDir;
  if (!PrepareOutput(outDir, outDir / "config", err)) return kJobBadInput;

  Scenario scenario(setup.world, outDir / "config");
  scenario.StoreCalibration();
  if (scenario.Doc().paths.empty()) {
    err << "kestrix: " << options.worldFile << ": the job has no cut path to trace\n";
    return kJobBadInput;
  }
  const uint64 path = scenario.Doc().paths.front();
  // The user stands the head over the copy's first mark, on the material.
  const cv::Point2d over = scenario.HeadOverMark(0, 0);
  scenario.Machine().Cutter().sendxyNoW(Trunc(over.x), Trunc(over.y), kMoveTravel);
  scenario.Clock().Advance(60'000'000);
  DBDeselectAll();
  DBSelect(scenario.Doc().imageObject);
  DBSelect(path);
  DBNotifySelectionChanged();

  TraceDialog dialog(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  cv::Point2d start;
  std::size_t movesBefore = 0;
  bool traced = false;
  ScriptedOperator op;
  op.Then(ScriptedOperator::Call([&] {
    start = scenario.Machine().Cutter().Position();
    movesBefore = scenario.Machine().Cutter().Moves().size();
    traced = dialog.Trace();
  }));
  op.Then(ScriptedOperator::PressButton(IDC_KX_STOP));
  {
    ScopedOperator install(&op);
    dialog.DoModal(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  }

  // The path at a tenth of its size around the start, measured from mark 0's centre, and the
  // trace's targets beside it: each subpath's points, then the way back to the start.
  const cv::Point2d centre = scenario.MarkCentreDoc(0);
  std::vector<std::vector<cv::Point2d>> expected;
  std::vector<cv::Point2d> expectedTargets;
  if (const ELEMENT* e = DBGetObjectElement(path); e && e->type == kElementPolyArc) {
    for (const auto& sp : static_cast<const POLYARC*>(e->item)->Subpaths()) {
      expected.emplace_back();
      for (const POLYPOINT& p : sp) {
        expected.back().push_back(start + (cv::Point2d(p.x, p.y) - centre) / kDocPerCutter * 0.1);
        expectedTargets.push_back(expected.back().back());
      }
      expectedTargets.push_back(start);
    }
  }
  const std::vector<CutterMove> all = scenario.Machine().Cutter().Moves();
  const std::vector<CutterMove> trail(all.begin() + static_cast<std::ptrdiff_t>(movesBefore),
                                      all.end());
  double worst = 0.0;
  const std::size_t pairs = std::min(trail.size(), expectedTargets.size());
  for (std::size_t i = 0; i < pairs; ++i)
    worst = std::max({worst, std::fabs(trail[i].to.x - expectedTargets[i].x),
                      std::fabs(trail[i].to.y - expectedTargets[i].y)});
  const cv::Point2d head = scenario.Machine().Cutter().Position();
  const bool backAtStart = cv::norm(head - start) <= 3.0;
  const bool complete = traced && trail.size() == expectedTargets.size();
  const bool met = complete && worst <= TraceTolerance(setup.world.camera.scale) && backAtStart;

  nlohmann::json report;
  report["world"] = options.worldFile;
  report["traced"] = traced;
  report["points"] = expectedTargets.size();
  report["moves"] = trail.size();
  report["subpaths"] = expected.size();
  report["maxErrorUnits"] = worst;
  report["toleranceUnits"] = TraceTolerance(setup.world.camera.scale);
  report["start"] = {start.x, start.y};
  report["head"] = {head.x, head.y};
  report["asExpected"] = met;
  const bool written = WriteText(outDir / "trace.json", report.dump(2) + "\n", err);
  const bool pictured = WritePng(
      outDir / "trace.png", [&] { return RenderTrace(expected, trail, start); }, err);

  out << "kestrix: " << options.worldFile << ": traced " << trail.size() << " of "
      << expectedTargets.size() << " moves of the first cut path at a tenth of its size, largest "
      << "error " << worst << " units, head " << (backAtStart ? "back at" : "not at")
      << " its start" << std::endl;
  if (op.Failed()) {
    err << "kestrix: the scripted user could not finish the trace:\n" << op.FailureText() << "\n";
    return kJobScriptFailed;
  }
  if (!written || !pictured) return kJobBadInput;
  return met ? kJobDone : kJobUnmet;
}

}  // namespace kx
