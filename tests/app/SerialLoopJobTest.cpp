// The program's jobs through the serial cutter driver against a fake plotter (hardware in the
// loop), what they leave in the settings, and a calibration on a head that never arrives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/CalibrateJob.h"
#include "app/MainJob.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

const char kSmallWorld[] = R"({"copies": {"columns": 1, "rows": 1, "width": 6000,
  "height": 5000, "pitchX": 7500, "pitchY": 6500}, "artwork": {"shapes": 6},
  "setup": {"calibrated": false}})";

nlohmann::json Report(const fs::path& out) {
  std::ifstream file(out / "report.json");
  return nlohmann::json::parse(file, nullptr, false);
}

class SerialLoopJob : public ::testing::TestWithParam<CutterProtocol> {};

TEST_P(SerialLoopJob, CalibrationThroughTheSerialDriverIsWithinTheSimulatedDriversTolerance) {
  const ScratchFolder dir;
  WriteText(dir / "world.json", kSmallWorld);
  std::ostringstream out, err;
  // Done means calibrated and stored within the same tolerance the simulated driver is held to.
  EXPECT_EQ(RunCalibrateJob({(dir / "world.json").string(), dir / "out"}, out, err, GetParam()),
            kJobDone)
      << out.str() << err.str();
  EXPECT_NE(out.str().find("over the serial driver on /dev/pts/"), std::string::npos) << out.str();
  const nlohmann::json report = Report(dir / "out");
  ASSERT_TRUE(report.is_object());
  EXPECT_TRUE(report["calibrated"].get<bool>());
  EXPECT_EQ(report["machineFault"], "");
  EXPECT_NEAR(report["stored"]["xOffset"].get<double>(), -1250, 6);
}

TEST_P(SerialLoopJob, ThePseudoTerminalNeverBecomesTheStoredPort) {
  const ScratchFolder dir;
  WriteText(dir / "world.json", kSmallWorld);
  // A user's settings name their real cutter; a check through the fake plotter must keep them.
  fs::create_directories(dir / "cfg");
  WriteText(dir / "cfg" / "settings.ini", "[Kestrix Setup]\nScale=1.60\n");
  WriteText(dir / "cfg" / "device.ini", "[Port Setup]\nPort=/dev/ttyUSB7\nProtocol=HPGL\n");
  MainJobOptions options;
  options.worldFile = (dir / "world.json").string();
  options.outDir = dir / "out";
  options.configDir = dir / "cfg";
  options.plotterPty = GetParam();
  std::ostringstream out, err;
  // The run resolves the stored port to the fake cutter and cuts (how well does not matter here).
  RunMainJob(options, out, err);
  EXPECT_NE(out.str().find("1 copies cut"), std::string::npos) << out.str() << err.str();
  const std::string device = ReadText(dir / "out" / "config" / "device.ini");
  EXPECT_NE(device.find("Port=/dev/ttyUSB7"), std::string::npos) << device;
  EXPECT_NE(device.find("Protocol=HPGL"), std::string::npos) << device;
  EXPECT_EQ(device.find("/dev/pts"), std::string::npos) << device;
  EXPECT_EQ(device.find("GRBL"), std::string::npos) << device;
}

std::string DialectName(const ::testing::TestParamInfo<CutterProtocol>& param) {
  return param.param == CutterProtocol::Hpgl ? "Hpgl" : "Grbl";
}

INSTANTIATE_TEST_SUITE_P(Dialects, SerialLoopJob,
                         ::testing::Values(CutterProtocol::Hpgl, CutterProtocol::Grbl),
                         DialectName);

TEST(CalibrateJobFaults, AHeadThatNeverArrivesEndsTheCalibrationWithTheRunsMessage) {
  const ScratchFolder dir;
  // The head ignores every move; the camera stops early, as nothing is to be seen anyway.
  WriteText(dir / "world.json", R"({"copies": {"columns": 1, "rows": 1, "width": 6000,
    "height": 5000, "pitchX": 7500, "pitchY": 6500}, "artwork": {"shapes": 6},
    "setup": {"calibrated": false}, "faults": {"noMotion": true, "cameraStopsAt": 1}})");
  std::ostringstream out, err;
  EXPECT_EQ(RunCalibrateJob({(dir / "world.json").string(), dir / "out"}, out, err),
            kJobMachineFault)
      << out.str() << err.str();
  EXPECT_NE(err.str().find("The cutter head did not come to rest within 600 s. Check the cutter"),
            std::string::npos)
      << err.str();
  const nlohmann::json report = Report(dir / "out");
  ASSERT_TRUE(report.is_object());
  EXPECT_FALSE(report["calibrated"].get<bool>());
  EXPECT_EQ(report["headMessages"], 1);
  EXPECT_NE(report["machineFault"].get<std::string>().find("600 s"), std::string::npos);
}

}  // namespace
}  // namespace kx::test
