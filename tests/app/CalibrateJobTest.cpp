// The calibrate job end to end, and a run with the settings it leaves.
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

TEST(CalibrateJob, CalibratesANeverCalibratedCameraAndLeavesTheSettings) {
  const ScratchFolder dir;
  WriteText(dir / "world.json", kSmallWorld);
  std::ostringstream out, err;
  const int status = RunCalibrateJob({(dir / "world.json").string(), dir / "out"}, out, err);
  EXPECT_EQ(status, kJobDone) << out.str() << err.str();
  EXPECT_NE(out.str().find("attempt 1: look from"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("error:    Scale"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "out" / "setup.png"));
  EXPECT_TRUE(fs::exists(dir / "out" / "bed.png"));
  std::ifstream file(dir / "out" / "report.json");
  const nlohmann::json report = nlohmann::json::parse(file, nullptr, false);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(report["before"]["scale"], 1.0);
  EXPECT_EQ(report["true"]["scale"], 1.6);
  EXPECT_TRUE(report["calibrated"].get<bool>());
  EXPECT_EQ(report["closedWith"], "OK");
  EXPECT_EQ(report["attempts"], 1);
  EXPECT_NEAR(report["stored"]["xOffset"].get<double>(), -1250, 6);
  EXPECT_NEAR(report["errors"]["stored"]["scalePercent"].get<double>(), -2.5, 1.0);
  const std::string ini = ReadText(dir / "out" / "config" / "settings.ini");
  EXPECT_NE(ini.find("Scale=1.5"), std::string::npos) << ini;
}

TEST(CalibrateJob, PrecisionFromTheWorldFileRefinesAndReportsBothResults) {
  const ScratchFolder dir;
  std::string world = kSmallWorld;
  world.insert(world.rfind('}'), R"(, "run": {"precision": 1})");
  WriteText(dir / "world.json", world);
  std::ostringstream out, err;
  const int status = RunCalibrateJob({(dir / "world.json").string(), dir / "out"}, out, err);
  EXPECT_EQ(status, kJobDone) << out.str() << err.str();
  EXPECT_NE(out.str().find("in precision mode"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("square:   Scale 1.56"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("refinement 1: by"), std::string::npos) << out.str();
  std::ifstream file(dir / "out" / "report.json");
  const nlohmann::json report = nlohmann::json::parse(file, nullptr, false);
  ASSERT_TRUE(report.is_object());
  EXPECT_EQ(report["precision"], 1);
  EXPECT_TRUE(report["refined"].get<bool>());
  EXPECT_EQ(report["refinement"]["positions"], 9);
  EXPECT_NEAR(report["errors"]["squareValues"]["scalePercent"].get<double>(), -2.5, 1.0);
  EXPECT_NEAR(report["errors"]["stored"]["scalePercent"].get<double>(), 0.0, 0.2);
  EXPECT_NEAR(report["errors"]["stored"]["xOffset"].get<double>(), 0.0, 2.0);
  EXPECT_NEAR(report["errors"]["stored"]["yOffset"].get<double>(), 0.0, 2.0);
  // The setting stays with the settings, for the run that uses them.
  const std::string device = ReadText(dir / "out" / "config" / "device.ini");
  EXPECT_NE(device.find("KestrixPrecision=1"), std::string::npos) << device;
}

TEST(CalibrateJob, BadInputIsNamedAndNothingRuns) {
  const ScratchFolder dir;
  WriteText(dir / "bad.json", R"({"setup": {"squareSize": 3}})");
  std::ostringstream out, err;
  EXPECT_EQ(RunCalibrateJob({(dir / "bad.json").string(), dir / "out"}, out, err), kJobBadInput);
  EXPECT_NE(err.str().find("\"setup.squareSize\""), std::string::npos) << err.str();
  EXPECT_FALSE(fs::exists(dir / "out" / "report.json"));

  // A run pointed at a folder without settings.ini.
  WriteText(dir / "world.json", kSmallWorld);
  fs::create_directories(dir / "empty");
  MainJobOptions run;
  run.worldFile = (dir / "world.json").string();
  run.outDir = dir / "run";
  run.configDir = dir / "empty";
  std::ostringstream runOut, runErr;
  EXPECT_EQ(RunMainJob(run, runOut, runErr), kJobBadInput);
  EXPECT_NE(runErr.str().find("no settings.ini"), std::string::npos) << runErr.str();
}

}  // namespace
}  // namespace kx::test
