// kestrix acquire end to end, its bad inputs, and a run against the job it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/AcquireJob.h"
#include "app/MainJob.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

// Two small copies side by side: a quick acquisition (7 x 5 tiles: the corner features are 5100 and
// 4100 units apart, the tile pitch 768 x 1024) and a quick run.
const char kSmallWorld[] = R"({"seed": 41, "artwork": {"shapes": 8},
  "copies": {"columns": 2, "rows": 1, "width": 6000, "height": 5000, "pitchX": 7500,
             "pitchY": 6500}})";

struct Acquired {
  int status = -1;
  std::string out;
  std::string err;
};

Acquired Acquire(const AcquireJobOptions& options) {
  std::ostringstream out, err;
  Acquired a;
  a.status = RunAcquireJob(options, out, err);
  a.out = out.str();
  a.err = err.str();
  return a;
}

TEST(AcquireJob, RefusesWhatItCannotUseWithTheReasonAndWritesNothing) {
  ScratchFolder dir;
  AcquireJobOptions missing;
  missing.worldFile = (dir / "none.json").string();
  missing.outDir = dir / "out";
  const Acquired a = Acquire(missing);
  EXPECT_EQ(a.status, kJobBadInput);
  EXPECT_NE(a.err.find("none.json"), std::string::npos) << a.err;
  EXPECT_FALSE(fs::exists(dir / "out" / "job.json"));

  // A settings folder without a calibration: the dialog would read Scale 1 and stitch a wrong
  // montage, so the job says so instead.
  fs::create_directories(dir / "empty-config");
  AcquireJobOptions uncalibrated;
  uncalibrated.outDir = dir / "out2";
  uncalibrated.configDir = dir / "empty-config";
  const Acquired b = Acquire(uncalibrated);
  EXPECT_EQ(b.status, kJobBadInput);
  EXPECT_NE(b.err.find("settings.ini: no \"Scale\""), std::string::npos) << b.err;
  EXPECT_FALSE(fs::exists(dir / "out2" / "job.json"));
}

TEST(MainJob, AcquireThenRunOnTheAcquiredJobCutsEveryCopy) {
  ScratchFolder dir;
  const fs::path world = dir / "world.json";
  WriteText(world, kSmallWorld);
  AcquireJobOptions options;
  options.worldFile = world.string();
  options.outDir = dir / "acquired";
  const Acquired a = Acquire(options);
  ASSERT_EQ(a.status, kJobDone) << a.err;
  EXPECT_NE(a.out.find("montage: 5 X 7 images, 3360 x 3200 pixels, 3 marks"), std::string::npos)
      << a.out;
  for (const char* file : {"job.json", "montage.png", "dialog.png", "report.json"})
    EXPECT_TRUE(fs::exists(options.outDir / file)) << file;
  std::ifstream reportFile(options.outDir / "report.json");
  const nlohmann::json report = nlohmann::json::parse(reportFile, nullptr, false);
  ASSERT_FALSE(report.is_discarded());
  EXPECT_EQ(report["grid"]["columns"], 7);
  EXPECT_EQ(report["grid"]["rows"], 5);
  EXPECT_EQ(report["montage"]["bytes"], 35ull * 921600);
  EXPECT_EQ(report["marks"].size(), 3u);

  MainJobOptions run;
  run.worldFile = world.string();
  run.jobDocument = options.outDir / "job.json";
  run.outDir = dir / "run";
  std::ostringstream out, err;
  EXPECT_EQ(RunMainJob(run, out, err), kJobDone) << out.str() << err.str();
  EXPECT_NE(out.str().find("2 copies cut, 2 within tolerance"), std::string::npos) << out.str();
}

TEST(MainJob, RunRefusesAJobDocumentThatIsNotThisWorldsJob) {
  ScratchFolder dir;
  const fs::path world = dir / "world.json";
  WriteText(world, kSmallWorld);
  WriteText(dir / "job.json", R"({"format": "kestrix-document", "version": 1, "objects": []})");
  MainJobOptions run;
  run.worldFile = world.string();
  run.jobDocument = dir / "job.json";
  run.outDir = dir / "run";
  std::ostringstream out, err;
  EXPECT_EQ(RunMainJob(run, out, err), kJobBadInput);
  EXPECT_NE(err.str().find("job.json: the document has no bitmap object"), std::string::npos)
      << err.str();
  WriteText(dir / "broken.json", "{");
  run.jobDocument = dir / "broken.json";
  std::ostringstream out2, err2;
  EXPECT_EQ(RunMainJob(run, out2, err2), kJobBadInput);
  EXPECT_NE(err2.str().find("broken.json"), std::string::npos) << err2.str();
}

}  // namespace
}  // namespace kx::test
