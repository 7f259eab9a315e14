// Calibration and acquisition on the configured devices with the person at the terminal, end to
// end without hardware: "Port Setup" names a fake plotter's pseudo-terminal, whose head drives
// the simulated camera.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "app/CalibrateJob.h"
#include "app/DeviceSetupJob.h"
#include "app/MainJob.h"
#include "embedded/DocFile.h"
#include "scenario/AcquireScript.h"
#include "tests/support/PtyRig.h"

namespace kx::test {
namespace {

std::string Goto(cv::Point2d p) {
  return "goto " + std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
}

// The rig with the calibration settings of its world and no calibration stored yet: the
// calibration has to find every value itself.
struct SetupRig : PtyRig {
  explicit SetupRig(CutterProtocol dialect) : PtyRig(dialect, SheetWorld(1, 1, 5)) {
    config = ResolveSetup(scenario.GetWorld());
    StoreSetupSettings(scenario.GetWorld(), config);
    WriteDoubleMorvane("Kestrix Setup", "Scale", 1.0, 2, 1);
    WriteDoubleMorvane("Kestrix Setup", "X OffSet", 0.0, 2, 1);
    WriteDoubleMorvane("Kestrix Setup", "Y OffSet", 0.0, 2, 1);
    NamePlotter();
  }

  int Calibrate(const std::string& input, std::function<void(std::uint64_t)> onWrite = nullptr) {
    std::istringstream in(input);
    std::ostringstream o, e;
    const int status = RunConfiguredCalibrate({}, in, o, e, Opened(std::move(onWrite)));
    out = o.str();
    err = e.str();
    return status;
  }

  CalibrationConfig config;
};

class DeviceCalibrate : public ::testing::TestWithParam<CutterProtocol> {};

TEST_P(DeviceCalibrate, TypedPlacementCalibrateAndOkStoreValuesWithinTheWorldsTruth) {
  SetupRig rig(GetParam());
  EXPECT_EQ(rig.Calibrate(Goto(rig.config.start) + "calibrate\nok\n"), kJobDone)
      << rig.out << rig.err;
  EXPECT_NE(rig.out.find("calibrated: Scale"), std::string::npos) << rig.out;
  const WorldCameraOptions& camera = rig.scenario.GetWorld().Options().camera;
  const CameraGeometry truth{camera.scale, camera.offsetX, camera.offsetY};
  const CameraGeometry stored = StoredGeometry();
  EXPECT_TRUE(WithinTolerance(stored, truth,
                              ExplainedScale(rig.scenario.GetWorld().Options(),
                                             rig.config.squareSize)))
      << stored.scale << " " << stored.xOffset << " " << stored.yOffset << "\n"
      << rig.out;
  EXPECT_GT(rig.CutStrokes(), 0u) << "the square is cut through the configured port";
  rig.ExpectKnifeUpAtHome();
}

INSTANTIATE_TEST_SUITE_P(Dialects, DeviceCalibrate,
                         ::testing::Values(CutterProtocol::Hpgl, CutterProtocol::Grbl),
                         DialectName);

TEST(DeviceCalibrate, CtrlCDuringTheSquareCancelsOnceTheCalibrationEndsStoringNothing) {
  SetupRig rig(CutterProtocol::Grbl);
  bool raised = false;
  // Whatever is typed after Calibrate is not reached: the interrupt cancels first.
  const int status = rig.Calibrate(Goto(rig.config.start) + "calibrate\nok\n", [&](std::uint64_t) {
    if (!raised && rig.plotter.KnifeDown()) {
      raised = true;
      std::raise(SIGINT);
    }
  });
  ASSERT_TRUE(raised) << "the knife never went down";
  EXPECT_EQ(status, kJobUnmet) << rig.out << rig.err;
  EXPECT_NE(rig.out.find("cancelled: nothing stored"), std::string::npos) << rig.out;
  EXPECT_EQ(StoredGeometry().scale, 1.0);
  EXPECT_EQ(StoredGeometry().xOffset, 0.0);
  rig.ExpectKnifeUpAtHome();
}

// The rig with an empty document and a folder for what the acquisition writes.
struct AcquireRig : PtyRig {
  AcquireRig() : PtyRig(CutterProtocol::Hpgl, SheetWorld(1, 1, 5)) {
    scenario.ClearDocument();
    options.outDir = scratch / "out";
  }

  int Acquire(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream o, e;
    const int status =
        RunConfiguredAcquire(options, scenario.Host().Doc(), in, o, e, Opened());
    out = o.str();
    err = e.str();
    return status;
  }

  DeviceToolOptions options;
};

TEST(DeviceAcquire, SteeredCornersAndOkWriteADocumentTheRunCanLoad) {
  AcquireRig rig;
  const AcquirePlan plan = PlanAcquisition(
      rig.scenario, GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr), 0);
  EXPECT_EQ(rig.Acquire(Goto(plan.startHead) + "start\n" + Goto(plan.endHead) + "end\nok\n"),
            kJobDone)
      << rig.out << rig.err;
  EXPECT_NE(rig.out.find("montage: " + std::to_string(plan.rows) + " X " +
                         std::to_string(plan.cols) + " images"),
            std::string::npos)
      << rig.out;
  Document doc;
  std::string error;
  ASSERT_TRUE(LoadDocument(doc, rig.options.outDir / "job.json", &error)) << error;
  JobInDocument job;
  EXPECT_TRUE(JobFromDocument(doc, &job, &error)) << error;
  EXPECT_TRUE(std::filesystem::exists(rig.options.outDir / "montage.png"));
  EXPECT_EQ(rig.CutStrokes(), 0u);
  rig.ExpectKnifeUpAtHome();
}

TEST(DeviceAcquire, TheEndOfInputCancelsWithoutWritingAJob) {
  AcquireRig rig;
  EXPECT_EQ(rig.Acquire("move 300 200\nstart\ngrow r\n"), kJobUnmet) << rig.out << rig.err;
  EXPECT_NE(rig.out.find("grid 2 x 1"), std::string::npos) << rig.out;
  EXPECT_FALSE(std::filesystem::exists(rig.options.outDir / "job.json"));
  rig.ExpectKnifeUpAtHome();
}

}  // namespace
}  // namespace kx::test
