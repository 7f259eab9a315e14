// The main job end to end on small worlds, through the same path the program takes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/MainJob.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

struct JobRun {
  int status = -1;
  std::string out;
  std::string err;
  nlohmann::json report;
};

JobRun RunWorld(const ScratchFolder& dir, const std::string& worldJson) {
  const fs::path world = dir / "world.json";
  WriteText(world, worldJson);
  MainJobOptions options;
  options.worldFile = world.string();
  options.outDir = dir / "out";
  std::ostringstream out, err;
  JobRun run;
  run.status = RunMainJob(options, out, err);
  run.out = out.str();
  run.err = err.str();
  std::ifstream report(options.outDir / "report.json");
  if (report) run.report = nlohmann::json::parse(report, nullptr, false);
  return run;
}

TEST(MainJob, TwoCopiesCutWellButThreeExpectedIsAFailedRun) {
  const ScratchFolder dir;
  const JobRun run =
      RunWorld(dir, R"({"copies": {"columns": 1, "rows": 2}, "expect": {"copies": 3}})");
  EXPECT_EQ(run.status, kJobUnmet) << run.out << run.err;
  EXPECT_NE(run.out.find("copy 1  column 0 row 0  marks 3/3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("copy 2  column 0 row 1  marks 3/3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("not as expected: cut 2 copies, expected 3"), std::string::npos);

  const auto& report = run.report;
  ASSERT_TRUE(report.is_object()) << "no readable report.json";
  ASSERT_EQ(report["copies"].size(), 2u);
  for (const auto& copy : report["copies"]) {
    EXPECT_TRUE(copy["pass"].get<bool>());
    EXPECT_GT(copy["pointsScored"].get<int>(), 0);
    EXPECT_LT(copy["maxError"]["mm"].get<double>(), 0.5);
    EXPECT_LE(copy["rmsError"]["mm"].get<double>(), copy["maxError"]["mm"].get<double>());
    EXPECT_NEAR(copy["transform"]["m11"].get<double>(), 1.0, 0.01);
  }
  EXPECT_EQ(report["uncut"].size(), 0u);
  EXPECT_EQ(report["totals"]["copiesCut"], 2);
  EXPECT_TRUE(report["totals"]["headAtOrigin"].get<bool>());
  EXPECT_GT(report["totals"]["virtualSeconds"].get<double>(), 1.0);
  EXPECT_EQ(report["unmet"], nlohmann::json({"cut 2 copies, expected 3"}));
  EXPECT_FALSE(report["success"].get<bool>());
  for (const char* picture : {"bed.png", "dialog.png", "dialog-first-copy.png"})
    EXPECT_GT(fs::file_size(dir / "out" / picture), 1000u) << picture;
  EXPECT_TRUE(fs::exists(dir / "out" / "config" / "settings.ini"));
  // Every file was written whole and renamed into place: nothing half-written is left over.
  for (const auto& entry : fs::recursive_directory_iterator(dir / "out")) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    EXPECT_NE(entry.path().filename(), ".kestrix-write-test") << entry.path();
  }
}

TEST(MainJob, ACopyThatIsNotPrintedIsCancelledAsTheWorldScripts) {
  // Three copies planned on a sheet of two: the third search fails and the user cancels.
  const ScratchFolder dir;
  const JobRun run = RunWorld(dir, R"({"copies": {"columns": 1, "rows": 2},
      "run": {"copiesY": 3}, "operator": {"failures": [{"answer": "cancel"}]},
      "expect": {"copies": 2}})");
  EXPECT_EQ(run.status, kJobDone) << run.out << run.err;
  EXPECT_TRUE(run.report["success"].get<bool>()) << run.report.dump(2);
  EXPECT_EQ(run.report["totals"]["copiesCut"], 2);
  EXPECT_TRUE(run.report["totals"]["headAtOrigin"].get<bool>());
}

TEST(MainJob, AnOkNeverAskedForIsOneMissedExpectationNotAFailedScript) {
  const ScratchFolder dir;
  const JobRun run = RunWorld(dir, R"({"copies": {"columns": 1, "rows": 2},
      "operator": {"failures": [{"answer": "ok", "placeCopy": 1}]}, "expect": {"copies": 2}})");
  EXPECT_EQ(run.status, kJobUnmet) << run.out << run.err;
  EXPECT_EQ(
      run.report["unmet"],
      nlohmann::json({"1 scripted answer(s) to the search's failure dialogue never asked for"}))
      << run.report.dump(2);
  EXPECT_EQ(run.report["operatorFailure"], "");
  EXPECT_EQ(run.report["totals"]["copiesCut"], 2);
}

TEST(MainJob, AMachineFaultEndsTheJobWithItsOwnStatusAndAnHonestReport) {
  // The camera stops 5 s into the machine's time, while the first copy is being cut.
  const ScratchFolder dir;
  const JobRun run = RunWorld(dir, R"({"copies": {"columns": 1, "rows": 2},
      "faults": {"cameraStopsAt": 5}})");
  EXPECT_EQ(run.status, kJobMachineFault) << run.out << run.err;
  EXPECT_NE(run.err.find("kestrix: the machine failed: The camera delivers no frames"),
            std::string::npos)
      << run.err;
  const auto& report = run.report;
  ASSERT_TRUE(report.is_object()) << "no readable report.json";
  EXPECT_EQ(report["machineFault"].get<std::string>().rfind("The camera delivers no frames", 0),
            0u);
  EXPECT_EQ(report["totals"]["copiesCut"], 1);
  ASSERT_EQ(report["copies"].size(), 1u);
  EXPECT_TRUE(report["copies"][0]["pass"].get<bool>()) << "registered on frames that came";
  EXPECT_FALSE(report["success"].get<bool>());
  EXPECT_EQ(report["operatorFailure"], "");
  // Bounded: the frame timeout after the last frame, not a search for ever.
  EXPECT_LT(report["totals"]["virtualSeconds"].get<double>(), 120.0);
}

TEST(MainJob, BadInputStopsBeforeAnyRun) {
  const ScratchFolder dir;
  const JobRun bad = RunWorld(dir, R"({"run": {"copiesX": 0}})");
  EXPECT_EQ(bad.status, kJobBadInput);
  EXPECT_NE(bad.err.find("world.json: key \"run.copiesX\" must be between 1 and 1000"),
            std::string::npos)
      << bad.err;
  EXPECT_FALSE(fs::exists(dir / "out"));

  // An output folder that cannot be made: a file stands where it should be.
  WriteText(dir / "taken", "x");
  std::ostringstream out, err;
  EXPECT_EQ(RunMainJob(DemoJob(), "demo", dir / "taken", out, err), kJobBadInput);
  EXPECT_NE(err.str().find("cannot create the output folder"), std::string::npos) << err.str();
  std::ostringstream noOut, noErr;
  EXPECT_EQ(RunMainJob(DemoJob(), "demo", "", noOut, noErr), kJobBadInput);
  EXPECT_EQ(noErr.str(), "kestrix: the output folder has no name\n");
  EXPECT_EQ(noOut.str(), "");
}

TEST(MainJob, SettingsThatCannotBeStoredStopTheJobBeforeAnythingIsCut) {
  // A folder where the settings file should be: the calibration cannot be stored, and a run
  // would register with whatever values it found instead.
  const ScratchFolder dir;
  fs::create_directories(dir / "out" / "config" / "settings.ini");
  std::ostringstream out, err;
  EXPECT_EQ(RunMainJob(DemoJob(), "demo", dir / "out", out, err), kJobBadInput);
  EXPECT_NE(err.str().find("kestrix: settings not stored: " +
                           (dir / "out" / "config" / "settings.ini").string() + ": "),
            std::string::npos)
      << err.str();
  EXPECT_EQ(out.str().find("copy 1"), std::string::npos) << out.str();
  EXPECT_FALSE(fs::exists(dir / "out" / "report.json"));
  EXPECT_FALSE(fs::exists(dir / "out" / "bed.png"));
}

}  // namespace
}  // namespace kx::test
