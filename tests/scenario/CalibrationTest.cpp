// End-to-end: the setup page calibrates Scale and the camera-to-knife offset on the simulated
// machine, automatically and by hand, and fails the way a user must see when it cannot.
#include <gtest/gtest.h>

#include <cmath>

#include "host/Settings.h"
#include "scenario/SetupScript.h"
#include "tests/support/RunHarness.h"

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

TEST(Calibration, AutomaticRecoversScaleAndOffsetFromANeverCalibratedPage) {
  CalibrationRun c(NeverCalibrated());
  EXPECT_EQ(c.Run({}), IDOK);
  const WorldCameraOptions& truth = c.scenario.GetWorld().Options().camera;
  EXPECT_NEAR(c.Stored("Scale"), truth.scale, truth.scale * 0.03);
  EXPECT_NEAR(c.Stored("X OffSet"), truth.offsetX, 6);
  EXPECT_NEAR(c.Stored("Y OffSet"), truth.offsetY, 6);
}

}  // namespace
}  // namespace kx::test
