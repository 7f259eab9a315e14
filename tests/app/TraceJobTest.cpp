// The trace job end to end: the picture and report of a traced path, and the inputs it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/TraceJob.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

struct TraceRun {
  int status = -1;
  std::string out;
  std::string err;
  nlohmann::json report;
};

TraceRun Trace(const ScratchFolder& dir, const std::string& worldFile) {
  MainJobOptions options;
  options.worldFile = worldFile;
  options.outDir = dir / "out";
  std::ostringstream out, err;
  TraceRun run;
  run.status = RunTraceJob(options, out, err);
  run.out = out.str();
  run.err = err.str();
  std::ifstream report(options.outDir / "trace.json");
  if (report) run.report = nlohmann::json::parse(report, nullptr, false);
  return run;
}

TEST(TraceJob, TracesTheFirstCutPathAndPicturesTheTrail) {
  const ScratchFolder dir;
  WriteText(dir / "world.json",
            R"({"copies": {"columns": 1, "rows": 1, "width": 6000, "height": 5000},
                "sheet": {"rotation": 2.0}})");
  const TraceRun run = Trace(dir, (dir / "world.json").string());
  EXPECT_EQ(run.status, kJobDone) << run.out << run.err;
  EXPECT_NE(run.out.find("head back at its start"), std::string::npos) << run.out;
  ASSERT_TRUE(run.report.is_object());
  EXPECT_EQ(run.report["traced"], true);
  EXPECT_EQ(run.report["asExpected"], true);
  EXPECT_GT(run.report["points"].get<int>(), 3);
  EXPECT_EQ(run.report["moves"], run.report["points"]);
  EXPECT_LE(run.report["maxErrorUnits"].get<double>(), run.report["toleranceUnits"].get<double>());
  EXPECT_EQ(run.report["head"], run.report["start"]);
  const cv::Mat picture = cv::imread((dir / "out" / "trace.png").string());
  ASSERT_FALSE(picture.empty());
  // The path at a tenth is drawn green, the head's trail red, on white.
  cv::Mat green, red;
  cv::inRange(picture, cv::Scalar(0, 120, 0), cv::Scalar(90, 200, 90), green);
  cv::inRange(picture, cv::Scalar(0, 0, 150), cv::Scalar(110, 110, 255), red);
  EXPECT_GT(cv::countNonZero(green), 100);
  EXPECT_GT(cv::countNonZero(red), 10);
}

TEST(TraceJob, AMissingOrBrokenWorldFileIsBadInputNamingIt) {
  const ScratchFolder dir;
  const TraceRun none = Trace(dir, "");
  EXPECT_EQ(none.status, kJobBadInput);
  EXPECT_NE(none.err.find("trace needs --world FILE"), std::string::npos) << none.err;
  const TraceRun missing = Trace(dir, (dir / "absent.json").string());
  EXPECT_EQ(missing.status, kJobBadInput);
  EXPECT_NE(missing.err.find("absent.json"), std::string::npos) << missing.err;
  WriteText(dir / "bad.json", R"({"camera": {"scale": "big"}})");
  const TraceRun bad = Trace(dir, (dir / "bad.json").string());
  EXPECT_EQ(bad.status, kJobBadInput);
  EXPECT_NE(bad.err.find("camera.scale"), std::string::npos) << bad.err;
  EXPECT_FALSE(fs::exists(dir / "out" / "trace.json"));
}

}  // namespace
}  // namespace kx::test
