// How a main-job run went: copies judged against ground truth, totals, report and bed picture.
#include "app/RunReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include <opencv2/imgproc.hpp>

#include "sim/WorldImages.h"

namespace kx {
namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

nlohmann::json Point(NewWorldPt p) { return {{"x", p.x}, {"y", p.y}}; }
nlohmann::json Point(cv::Point2d p) { return {{"x", p.x}, {"y", p.y}}; }

nlohmann::json Length(double units) { return {{"units", units}, {"mm", units * kMmPerCutter}}; }

}  // namespace

CopyResult JudgeCopy(const Scenario& scenario, const CopyRecord& record, int order,
                     const Expectations& expect) {
  CopyResult r;
  r.order = order;
  r.record = record;
  if (record.copy < 0) return r;
  const double tolerance = expect.maxErrorMm / kMmPerCutter;
  for (int i = 0; i < 3; ++i) {
    const cv::Point2d truth = scenario.HeadOverMark(record.copy, i);
    r.markMissBy[i] = cv::Point2d(record.found[i].x, record.found[i].y) - truth;
    r.markMiss[i] = cv::norm(r.markMissBy[i]);
    if (r.markMiss[i] <= tolerance) ++r.marksFound;
  }
  r.pass = record.cut && record.score.points > 0 &&
           record.score.maxError * kMmPerCutter <= expect.maxErrorMm;
  return r;
}

std::string CopyLine(const CopyResult& r) {
  const CopyRecord& c = r.record;
  std::string line = "copy " + std::to_string(r.order) + "  ";
  line += c.copy < 0 ? std::string("on no printed copy")
                     : "column " + std::to_string(c.column) + " row " + std::to_string(c.row);
  line += "  marks " + std::to_string(r.marksFound) + "/3";
  if (!c.cut)
    line += "  not cut";
  else if (c.score.points > 0)
    line += Format("  max %.2f mm  rms %.2f mm", c.score.maxError * kMmPerCutter,
                   c.score.rmsError * kMmPerCutter);
  else
    line += "  no cut scored";
  line += r.pass ? "  ok" : "  FAILED";
  return line;
}

std::vector<std::string> UnmetExpectations(const std::vector<CopyResult>& copies,
                                           const RunTotals& totals, const Expectations& expect) {
  std::vector<std::string> unmet;
  if (totals.copiesCut != expect.copies)
    unmet.push_back("cut " + std::to_string(totals.copiesCut) + " copies, expected " +
                    std::to_string(expect.copies));
  for (const CopyResult& r : copies) {
    if (r.pass) continue;
    const std::string which = "copy " + std::to_string(r.order);
    if (!r.record.cut)
      unmet.push_back(which + " was registered but not cut");
    else if (r.record.copy < 0)
      unmet.push_back(which + " was cut where no copy is printed");
    else if (r.record.score.points == 0)
      unmet.push_back(which + " has no knife cut to score");
    else
      unmet.push_back(which + Format(": largest error %.2f mm, more than %.2f mm allowed",
                                     r.record.score.maxError * kMmPerCutter, expect.maxErrorMm));
  }
  if (expect.headAtOrigin && !totals.headAtOrigin)
    unmet.push_back(
        Format("the head ended at (%.0f, %.0f), not at the origin", totals.head.x, totals.head.y));
  if (!expect.headAtOrigin && totals.headAtOrigin)
    unmet.push_back("the head returned to the origin, expected it to stay where the run stopped");
  return unmet;
}

std::string ModeName(int precision) {
  if (precision <= 0) return "described mode";
  if (precision & 1) return "precision mode";
  return "precision parts " + std::to_string(precision);
}

std::string SummaryLine(const std::vector<CopyResult>& copies, const RunTotals& totals) {
  const auto passed =
      std::count_if(copies.begin(), copies.end(), [](const CopyResult& r) { return r.pass; });
  double worst = 0;
  for (const CopyResult& r : copies) worst = std::max(worst, r.record.score.maxError);
  std::string line = std::to_string(totals.copiesCut) + " copies cut, " + std::to_string(passed) +
                     " within tolerance" + Format(", largest error %.2f mm", worst * kMmPerCutter);
  line +=
      Format("; machine time %.1f s, wall time %.1f s", totals.virtualSeconds, totals.wallSeconds);
  line += totals.headAtOrigin ? std::string("; head back at the origin")
                              : Format("; head at (%.0f, %.0f)", totals.head.x, totals.head.y);
  return line;
}

nlohmann::json ReportJson(const std::string& worldName, const MainJobSetup& setup,
                          const std::vector<CopyResult>& copies, const RunTotals& totals,
                          const std::vector<std::string>& unmet,
                          const std::string& operatorFailure) {
  const RunPlan& plan = setup.plan;
  nlohmann::json failures = nlohmann::json::array();
  for (const FailureAnswer& f : plan.failures)
    failures.push_back(
        {{"answer", f.answer == IDOK ? "ok" : "cancel"}, {"placeCopy", f.placeCopy}});
  nlohmann::json report;
  report["world"] = worldName;
  report["plan"] = {{"material", plan.roll ? "roll" : "sheet"},
                    {"rollDir", plan.rollDir},
                    {"maxError", plan.maxError},
                    {"precision", plan.precision},
                    {"mode", ModeName(plan.precision)},
                    {"copiesX", plan.copiesX},
                    {"copiesY", plan.copiesY},
                    {"stepX", plan.stepX},
                    {"stepY", plan.stepY},
                    {"firstCopy", plan.firstCopy},
                    {"failures", failures}};
  report["expect"] = {{"copies", setup.expect.copies},
                      {"maxErrorMm", setup.expect.maxErrorMm},
                      {"headAtOrigin", setup.expect.headAtOrigin}};

  nlohmann::json list = nlohmann::json::array();
  std::set<int> cut;
  for (const CopyResult& r : copies) {
    const CopyRecord& c = r.record;
    if (c.cut) cut.insert(c.copy);
    nlohmann::json marks = nlohmann::json::array();
    for (int i = 0; i < 3; ++i)
      marks.push_back({{"reference", Point(c.ref[i])},
                       {"found", Point(c.found[i])},
                       {"missUnits", r.markMiss[i]},
                       {"miss", Point(r.markMissBy[i])}});
    const TM& t = c.knifeFromDoc;
    list.push_back({{"order", r.order},
                    {"copy", c.copy},
                    {"column", c.column},
                    {"row", c.row},
                    {"found", true},
                    {"cut", c.cut},
                    {"marksFound", r.marksFound},
                    {"marks", marks},
                    {"transform",
                     {{"m11", t.m11},
                      {"m12", t.m12},
                      {"m21", t.m21},
                      {"m22", t.m22},
                      {"dx", t.dx},
                      {"dy", t.dy}}},
                    {"maxError", Length(c.score.maxError)},
                    {"rmsError", Length(c.score.rmsError)},
                    {"pointsScored", c.score.points},
                    {"knifeCuts", c.endCut - c.firstCut},
                    {"timeSeconds", static_cast<double>(c.timeMicros) / 1e6},
                    {"pass", r.pass}});
  }
  report["copies"] = list;
  nlohmann::json uncut = nlohmann::json::array();
  const int count = setup.world.copies.columns * setup.world.copies.rows;
  for (int i = 0; i < count; ++i)
    if (!cut.count(i)) uncut.push_back(i);
  report["uncut"] = uncut;
  report["totals"] = {{"copiesCut", totals.copiesCut},
                      {"virtualSeconds", totals.virtualSeconds},
                      {"wallSeconds", totals.wallSeconds},
                      {"head", Point(totals.head)},
                      {"headAtOrigin", totals.headAtOrigin}};
  report["unmet"] = unmet;
  report["operatorFailure"] = operatorFailure;
  report["success"] = unmet.empty() && operatorFailure.empty();
  return report;
}

cv::Mat RenderReportBed(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                        const std::vector<CopyResult>& copies) {
  constexpr double k = 20.0;  // cutter units a pixel
  cv::Mat bed = RenderBed(world, cuts, head, k);
  const double bedHeight = world.Options().cutter.bedHeight;
  auto px = [&](cv::Point2d p) {
    return cv::Point(static_cast<int>(std::lround(p.x / k)),
                     static_cast<int>(std::lround((bedHeight - p.y) / k)));
  };
  const double w = world.Art().Width();
  const double h = world.Art().Height();
  auto outline = [&](const CopyPlacement& c) {
    std::vector<cv::Point> poly;
    for (cv::Point2d a :
         {cv::Point2d(0, 0), cv::Point2d(w, 0), cv::Point2d(w, h), cv::Point2d(0, h)})
      poly.push_back(px(Apply(c.bedFromArtwork, a)));
    return poly;
  };
  // A label on a white plate in the copy's colour, readable over any artwork.
  auto label = [&](const std::string& text, cv::Point centre, cv::Scalar colour) {
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    int base = 0;
    const cv::Size size = cv::getTextSize(text, font, 0.9, 2, &base);
    const cv::Point origin = centre - cv::Point(size.width / 2, -size.height / 2);
    const cv::Rect plate(origin.x - 6, origin.y - size.height - 6, size.width + 12,
                         size.height + base + 10);
    cv::rectangle(bed, plate, cv::Scalar(255, 255, 255), cv::FILLED);
    cv::rectangle(bed, plate, colour, 2);
    cv::putText(bed, text, origin, font, 0.9, colour, 2, cv::LINE_AA);
  };

  const cv::Scalar green(40, 160, 40), red(30, 30, 220), grey(140, 140, 140);
  std::set<int> cut;
  for (const CopyResult& r : copies) cut.insert(r.record.copy);
  for (const CopyPlacement& c : world.Copies())
    if (!cut.count(c.index))
      cv::polylines(bed, std::vector<std::vector<cv::Point>>{outline(c)}, true, grey, 1,
                    cv::LINE_AA);
  for (const CopyResult& r : copies) {
    const int index = r.record.copy;
    if (index < 0 || index >= static_cast<int>(world.Copies().size())) continue;
    const CopyPlacement& c = world.Copies()[static_cast<std::size_t>(index)];
    const cv::Scalar colour = r.pass ? green : red;
    cv::polylines(bed, std::vector<std::vector<cv::Point>>{outline(c)}, true, colour, 3,
                  cv::LINE_AA);
    const cv::Point centre = px(Apply(c.bedFromArtwork, cv::Point2d(w / 2, h / 2)));
    label("#" + std::to_string(r.order) + "  " +
              (r.record.score.points ? Format("%.2f mm", r.record.score.maxError * kMmPerCutter)
                                     : std::string("not scored")),
          centre, colour);
  }

  // Only the part of the bed that holds the origin, the sheet and the head.
  double maxX = std::max(head.x, 0.0), maxY = std::max(head.y, 0.0);
  for (const cv::Point2d& p : world.SheetCorners()) {
    maxX = std::max(maxX, p.x);
    maxY = std::max(maxY, p.y);
  }
  const cv::Point corner = px({maxX + 1000, maxY + 1000});
  const int right = std::clamp(corner.x, 1, bed.cols);
  const int top = std::clamp(corner.y, 0, bed.rows - 1);
  return bed(cv::Rect(0, top, right, bed.rows - top)).clone();
}

}  // namespace kx
