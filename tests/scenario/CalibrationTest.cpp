// End-to-end: the setup page calibrates Scale and the camera-to-knife offset on the simulated
// machine, automatically and by hand, and fails the way a user must see when it cannot.
#include <gtest/gtest.h>

#include <cmath>

#include "host/Settings.h"
#include "scenario/SetupScript.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

// One calibration on a world: the scenario, the stored settings, the sheet and the user.
struct CalibrationRun {
  explicit CalibrationRun(const WorldOptions& world)
      : scenario(world, scratch / "config"), config(ResolveSetup(scenario.GetWorld())) {
    StoreSetupSettings(scenario.GetWorld(), config);
    BringHeadTo(scenario, config.start);
  }
  INT_PTR Run(const CalibrationPlan& plan) {
    sheet = std::make_unique<SetupSheet>();
    ScriptCalibration(op, sheet.get(), &scenario, config, plan);
    INT_PTR result = 0;
    {
      ScopedOperator install(&op);
      result = sheet->DoModal();
    }
    EXPECT_FALSE(op.Failed()) << op.FailureText();
    EXPECT_EQ(op.PendingBoxes(), 0u);
    return result;
  }
  double Stored(const char* key) { return GetDoubleMorvane("Kestrix Setup", key, -1e9, 1); }

  ScratchFolder scratch;
  Scenario scenario;
  CalibrationConfig config;
  ScriptedOperator op;
  std::unique_ptr<SetupSheet> sheet;
};

WorldOptions NeverCalibrated(double scale = 1.6) {
  WorldOptions w = SheetWorld(1, 1);
  w.camera.scale = scale;
  w.setup.calibrated = false;
  return w;
}

// The stored values a calibration leaves: the offsets within what the centring (two camera
// pixels) and the square's construction leave; Scale within 1 % and the storing's rounding of
// what the square's construction explains (its side measured on the cut line's outer edge).
void ExpectCalibrated(CalibrationRun& c) {
  const WorldOptions& world = c.scenario.GetWorld().Options();
  const WorldCameraOptions& truth = world.camera;
  const double offsetTolerance = 2 * truth.scale + 2;
  const double explained = ExplainedScale(world, c.config.squareSize);
  EXPECT_LT(explained, truth.scale) << "the square looks larger than it is";
  EXPECT_NEAR(c.Stored("Scale"), explained, 0.01 * truth.scale + 0.005);
  EXPECT_NEAR(c.Stored("X OffSet"), truth.offsetX, offsetTolerance);
  EXPECT_NEAR(c.Stored("Y OffSet"), truth.offsetY, offsetTolerance);
}

TEST(Calibration, AutomaticRecoversScaleAndOffsetFromANeverCalibratedPage) {
  for (double scale : {1.0, 1.6, 2.4}) {
    SCOPED_TRACE(scale);
    CalibrationRun c(NeverCalibrated(scale));
    EXPECT_EQ(c.Stored("Scale"), -1e9) << "nothing stored before";
    EXPECT_EQ(c.Run({}), IDOK);
    EXPECT_TRUE(c.sheet->Page().CalibrationSucceeded());
    ExpectCalibrated(c);
    // The camera ended centred on the square it measured, at most four corrections after the look.
    const std::vector<CalibrationMove> moves = CalibrationMoves(c.scenario, c.config);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().attempt, 1);
    EXPECT_LE(moves.back().correction, 4);
    EXPECT_LE(std::hypot(moves.back().miss.x, moves.back().miss.y), 3 * scale * std::sqrt(2.0));
  }
}

TEST(Calibration, ManualWaitsForTheUserThenMeasuresWithoutCuttingAgain) {
  WorldOptions w = NeverCalibrated();
  w.setup.manual = true;
  CalibrationRun c(w);
  EXPECT_EQ(c.Run({}), IDOK);
  ExpectCalibrated(c);
  // One square only: the second press measured where the user had brought the camera.
  EXPECT_EQ(c.scenario.Machine().Cutter().Cuts().size(), 8u);
  EXPECT_FALSE(c.sheet->Page().IsWaitingForManualCalibration());
}

TEST(Calibration, SquareOutOfViewGivesSevenFailuresAndTheButtonBack) {
  WorldOptions w = NeverCalibrated();
  w.setup.moveX = 3000;  // every look lands beside the square
  w.setup.moveY = 0;
  CalibrationRun c(w);
  bool enabledAtEnd = false;
  CalibrationPlan plan;
  plan.failureBoxes = 7;
  plan.pressOk = false;
  plan.beforeClosing = [&] {
    enabledAtEnd = c.sheet->Page().GetDlgItem(IDC_KX_CALIBRATE)->IsWindowEnabled() != FALSE;
  };
  EXPECT_EQ(c.Run(plan), IDCANCEL);
  EXPECT_TRUE(enabledAtEnd);
  EXPECT_FALSE(c.sheet->Page().CalibrationSucceeded());
  const std::vector<CalibrationMove> moves = CalibrationMoves(c.scenario, c.config);
  EXPECT_EQ(moves.size(), 7u) << "seven looks, no corrections";
  EXPECT_EQ(c.Stored("Scale"), -1e9) << "Cancel stores nothing";
}

TEST(Calibration, PowerZeroLeavesNothingToFind) {
  WorldOptions w = NeverCalibrated();
  w.setup.squarePower = 0;
  CalibrationRun c(w);
  CalibrationPlan plan;
  plan.failureBoxes = 7;
  plan.pressOk = false;
  EXPECT_EQ(c.Run(plan), IDCANCEL);
  const SimCutter& cutter = c.scenario.Machine().Cutter();
  EXPECT_EQ(cutter.Cuts().size(), 8u) << "the knife went round the square";
  EXPECT_TRUE(cutter.KnifeTrace(c.scenario.Clock().NowMicros()).empty()) << "but marked nothing";
}

TEST(Calibration, PowerIsInForceOnlyWhileTheSquareIsCut) {
  CalibrationRun c(NeverCalibrated());
  EXPECT_EQ(c.Run({}), IDOK);
  c.sheet.reset();  // the page closes the driver
  const SimCutter& cutter = c.scenario.Machine().Cutter();
  std::vector<DeviceValueRecord> power;
  for (const DeviceValueRecord& v : cutter.DeviceValues())
    if (v.code == kDevCodeCutPower) power.push_back(v);
  ASSERT_EQ(power.size(), 3u);  // the square's power, 0 after it, 0 on closing
  EXPECT_EQ(power[0].value, 25);
  EXPECT_EQ(power[1].value, 0);
  EXPECT_EQ(power[2].value, 0);
  const std::vector<KnifeCut> cuts = cutter.Cuts();
  ASSERT_EQ(cuts.size(), 8u);
  EXPECT_LE(power[0].time, cuts.front().start);
  EXPECT_GE(power[1].time, cuts.back().end);
  EXPECT_EQ(cutter.CutPower(), 0);
  // The square: side s + 2 with its corner where the head stood.
  const cv::Point2d corner(c.config.start);
  const double side = c.config.squareSize + 2;
  EXPECT_EQ(cuts[1].segment.b, corner + cv::Point2d(side, 0));
  EXPECT_EQ(cuts[3].segment.b, corner + cv::Point2d(side, side));
  EXPECT_EQ(cuts[7].segment.b, corner);
}

TEST(Calibration, CancelAfterACalibrationKeepsTheStoredValues) {
  WorldOptions w = SheetWorld(1, 1);
  w.calibration.offsetErrorX = 40;  // what an earlier, poorer calibration stored
  CalibrationRun c(w);
  const double scale = c.Stored("Scale");
  const double x = c.Stored("X OffSet");
  const double y = c.Stored("Y OffSet");
  CalibrationPlan plan;
  plan.pressOk = false;
  EXPECT_EQ(c.Run(plan), IDCANCEL);
  EXPECT_TRUE(c.sheet->Page().CalibrationSucceeded());
  EXPECT_NE(c.sheet->Page().XOffset(), x) << "the page had measured anew";
  EXPECT_EQ(c.Stored("Scale"), scale);
  EXPECT_EQ(c.Stored("X OffSet"), x);
  EXPECT_EQ(c.Stored("Y OffSet"), y);
}

TEST(Calibration, RunWithTheCalibratedValuesCutsWithinWhatTheCalibrationExplains) {
  const WorldOptions w = SheetWorld(1, 2);
  double scale = 0, x = 0, y = 0;
  {
    WorldOptions never = w;
    never.setup.calibrated = false;
    CalibrationRun c(never);
    ASSERT_EQ(c.Run({}), IDOK);
    scale = c.Stored("Scale");
    x = c.Stored("X OffSet");
    y = c.Stored("Y OffSet");
  }
  RunHarness h(w);
  WriteDoubleMorvane("Kestrix Setup", "Scale", scale, 2, 1);
  WriteDoubleMorvane("Kestrix Setup", "X OffSet", x, 2, 1);
  WriteDoubleMorvane("Kestrix Setup", "Y OffSet", y, 2, 1);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesX = 1, .copiesY = 2})), 0);
  ASSERT_EQ(h.Copies().size(), 2u);
  // The offset's error moves every cut point by as much; the run's own tolerance comes on top.
  const WorldCameraOptions& truth = w.camera;
  const double explainedMm = std::hypot(x - truth.offsetX, y - truth.offsetY) * 10 * kDocPerCutter;
  EXPECT_THAT(h.Copies(), ::testing::Each(CutWithin(kRunToleranceMm + explainedMm)));
}

// Precision mode: the refinement measures Scale from known head moves and the offset from the
// square's centroid, and OK stores those values; the square's own values stay visible beside them.
void ExpectRefined(CalibrationRun& c) {
  const WorldCameraOptions& truth = c.scenario.GetWorld().Options().camera;
  const CKestrixSetup& page = c.sheet->Page();
  ASSERT_TRUE(page.CalibrationRefined());
  EXPECT_GE(page.RefinementPositions(), 9);
  EXPECT_NEAR(c.Stored("Scale"), truth.scale, 0.002 * truth.scale);
  EXPECT_NEAR(c.Stored("X OffSet"), truth.offsetX, 2.0);
  EXPECT_NEAR(c.Stored("Y OffSet"), truth.offsetY, 2.0);
  // The square's own Scale reads low (its outline is larger than s); the refinement does not.
  EXPECT_LT(page.SquareScale(), 0.99 * truth.scale);
  EXPECT_NEAR(page.Scale(), c.Stored("Scale"), 0.00005)
      << "stored with enough digits to keep the fit";
}

TEST(CalibrationRefined, RecoversTrueScaleAndOffsetOnCamerasOfEveryScale) {
  const struct {
    double scale, offsetX, offsetY;
  } cameras[] = {{1.0, -1250, 830},
                 {1.6, -1250, 830},
                 {2.4, -1250, 830},
                 {1.6, 2210, -1730},
                 {1.37, -613, 1492}};
  for (const auto& camera : cameras) {
    SCOPED_TRACE(testing::Message()
                 << camera.scale << " " << camera.offsetX << " " << camera.offsetY);
    WorldOptions w = NeverCalibrated(camera.scale);
    w.camera.offsetX = camera.offsetX;
    w.camera.offsetY = camera.offsetY;
    CalibrationRun c(w);
    WriteIntDeviceSetup("KestrixPrecision", 1);
    EXPECT_EQ(c.Run({}), IDOK);
    EXPECT_TRUE(c.sheet->Page().CalibrationSucceeded());
    ExpectRefined(c);
    // The head ends with the camera over the square's centre as the refined values place it.
    const cv::Point2d head = c.scenario.Machine().Cutter().Position();
    const cv::Point2d centre = SquareCentre(c.config.start, c.config.squareSize);
    EXPECT_NEAR(head.x + camera.offsetX, centre.x, 2.0);
    EXPECT_NEAR(head.y + camera.offsetY, centre.y, 2.0);
  }
}

TEST(CalibrationRefined, ManualWayIsRefinedToo) {
  WorldOptions w = NeverCalibrated();
  w.setup.manual = true;
  w.camera.noiseSigma = 10;
  w.camera.blurSigma = 1.5;
  CalibrationRun c(w);
  WriteIntDeviceSetup("KestrixPrecision", 1);
  EXPECT_EQ(c.Run({}), IDOK);
  ExpectRefined(c);
  EXPECT_EQ(c.scenario.Machine().Cutter().Cuts().size(), 8u) << "no second square";
}

TEST(CalibrationRefined, SettingZeroStoresTheSquaresOwnValuesWithTwoDecimals) {
  CalibrationRun c(NeverCalibrated());
  WriteIntDeviceSetup("KestrixPrecision", 0);
  EXPECT_EQ(c.Run({}), IDOK);
  const CKestrixSetup& page = c.sheet->Page();
  EXPECT_FALSE(page.CalibrationRefined());
  EXPECT_EQ(page.RefinementPositions(), 0);
  EXPECT_NEAR(page.Scale(), page.SquareScale(), 1e-12);
  EXPECT_NEAR(page.XOffset(), page.SquareXOffset(), 1e-12);
  EXPECT_EQ(c.Stored("Scale"), std::round(page.Scale() * 100) / 100);
  EXPECT_EQ(c.Stored("X OffSet"), page.XOffset()) << "a whole number of units";
}

TEST(CalibrationRefined, AFailedCalibrationIsNotRefined) {
  WorldOptions w = NeverCalibrated();
  w.setup.moveX = 3000;  // every look lands beside the square
  w.setup.moveY = 0;
  CalibrationRun c(w);
  WriteIntDeviceSetup("KestrixPrecision", 1);
  CalibrationPlan plan;
  plan.failureBoxes = 7;
  plan.pressOk = false;
  EXPECT_EQ(c.Run(plan), IDCANCEL);
  EXPECT_FALSE(c.sheet->Page().CalibrationRefined());
  EXPECT_EQ(CalibrationMoves(c.scenario, c.config).size(), 7u) << "no refinement moves";
}

}  // namespace
}  // namespace kx::test
