// Judging a run: the printed copy line, the expectations a run misses and the bed picture.
#include <gtest/gtest.h>

#include "app/RunReport.h"

namespace kx {
namespace {

CopyResult Copy(int order, int column, int row, double maxUnits, bool pass) {
  CopyResult r;
  r.order = order;
  r.record.copy = row * 2 + column;
  r.record.column = column;
  r.record.row = row;
  r.record.score.maxError = maxUnits;
  r.record.score.rmsError = maxUnits / 2;
  r.record.score.points = 100;
  r.record.cut = true;
  r.marksFound = 3;
  r.pass = pass;
  return r;
}

TEST(RunReport, CopyLineGivesPlaceMarksAndErrorsInMillimetres) {
  // 10 units = 0.254 mm, 5 units = 0.127 mm.
  EXPECT_EQ(CopyLine(Copy(3, 1, 2, 10, true)),
            "copy 3  column 1 row 2  marks 3/3  max 0.25 mm  rms 0.13 mm  ok");
  CopyResult lost = Copy(4, 0, 0, 0, false);
  lost.record.copy = -1;
  lost.record.score.points = 0;
  lost.marksFound = 1;
  EXPECT_EQ(CopyLine(lost), "copy 4  on no printed copy  marks 1/3  no cut scored  FAILED");
}

TEST(RunReport, ACopyTheCutterDidNotTakeIsReportedNotCut) {
  // The second copy was registered and handed to a cutter that did not take it.
  std::vector<CopyResult> copies{Copy(1, 0, 0, 10, true), Copy(2, 1, 0, 0, false)};
  copies[1].record.cut = false;
  copies[1].record.score.points = 0;
  EXPECT_EQ(CopyLine(copies[1]), "copy 2  column 1 row 0  marks 3/3  not cut  FAILED");
  RunTotals totals;
  totals.copiesCut = 1;
  totals.headAtOrigin = true;
  const auto unmet =
      UnmetExpectations(copies, totals, Expectations{.copies = 2, .maxErrorMm = 0.5});
  EXPECT_EQ(unmet, (std::vector<std::string>{"cut 1 copies, expected 2",
                                             "copy 2 was registered but not cut"}));
  copies[0].record.found[1] = {12295, 1692};
  const auto report = ReportJson("w.json", DemoJob(), copies, totals, unmet, "");
  ASSERT_EQ(report["copies"].size(), 2u);
  EXPECT_EQ(report["copies"][0]["cut"], true);
  EXPECT_EQ(report["copies"][0]["marks"][1]["found"]["x"], 12295.0);
  EXPECT_DOUBLE_EQ(report["copies"][0]["maxError"]["mm"].get<double>(), 0.254);  // 10 units
  EXPECT_EQ(report["copies"][1]["cut"], false);
  EXPECT_EQ(report["uncut"], nlohmann::json({1, 2, 3, 4, 5})) << "copy 1 was not cut";
  EXPECT_EQ(report["totals"]["copiesCut"], 1);
  EXPECT_EQ(report["plan"]["material"], "sheet");
  EXPECT_FALSE(report["success"].get<bool>());
}

TEST(RunReport, UnmetExpectationsNameEachShortfall) {
  Expectations expect{.copies = 2, .maxErrorMm = 0.5};
  RunTotals totals;
  totals.copiesCut = 2;
  totals.headAtOrigin = true;
  std::vector<CopyResult> copies{Copy(1, 0, 0, 10, true), Copy(2, 0, 1, 12, true)};
  EXPECT_TRUE(UnmetExpectations(copies, totals, expect).empty());

  // 30 units = 0.762 mm.
  copies[1] = Copy(2, 0, 1, 30, false);
  totals.head = {812, 4};
  totals.headAtOrigin = false;
  expect.copies = 3;
  const auto unmet = UnmetExpectations(copies, totals, expect);
  ASSERT_EQ(unmet.size(), 3u);
  EXPECT_EQ(unmet[0], "cut 2 copies, expected 3");
  EXPECT_EQ(unmet[1], "copy 2: largest error 0.76 mm, more than 0.50 mm allowed");
  EXPECT_EQ(unmet[2], "the head ended at (812, 4), not at the origin");

  // A run expected to stop away from the origin must not come back to it.
  expect = Expectations{.copies = 2, .maxErrorMm = 1.0, .headAtOrigin = false};
  copies[1] = Copy(2, 0, 1, 12, true);
  totals.headAtOrigin = true;
  ASSERT_EQ(UnmetExpectations(copies, totals, expect).size(), 1u);
}

int CountColour(const cv::Mat& image, cv::Vec3b colour) {
  int n = 0;
  for (int y = 0; y < image.rows; ++y)
    for (int x = 0; x < image.cols; ++x) n += image.at<cv::Vec3b>(y, x) == colour;
  return n;
}

TEST(RunReport, BedPictureColoursPassedCopiesGreenAndFailedOnesRed) {
  WorldOptions options;
  options.copies.columns = 2;
  options.copies.rows = 1;
  const World world(options);
  const cv::Vec3b green(40, 160, 40), red(30, 30, 220);

  const cv::Mat allPass =
      RenderReportBed(world, {}, {0, 0}, {Copy(1, 0, 0, 5, true), Copy(2, 1, 0, 5, true)});
  EXPECT_GT(CountColour(allPass, green), 1000);
  EXPECT_EQ(CountColour(allPass, red), 0);
  // Cropped to the sheet: far less than the whole bed at 20 units a pixel.
  EXPECT_LT(allPass.cols, options.cutter.bedWidth / 20 / 2);
  EXPECT_LT(allPass.rows, options.cutter.bedHeight / 20 / 2);

  const cv::Mat oneFails =
      RenderReportBed(world, {}, {0, 0}, {Copy(1, 0, 0, 5, true), Copy(2, 1, 0, 50, false)});
  EXPECT_GT(CountColour(oneFails, green), 500);
  EXPECT_GT(CountColour(oneFails, red), 500);
}

}  // namespace
}  // namespace kx
