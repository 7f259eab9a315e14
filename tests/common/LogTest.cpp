// The diagnostic log: its one line format, captures, the level threshold and KX_LOG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"

namespace kx {
namespace {

TEST(Log, TheNewestCaptureCollectsAndCapturesMayEndInAnyOrder) {
  auto outer = std::make_unique<ScopedLogCapture>();
  Log(LogLevel::Error, LogCategory::Window, "one");
  {
    ScopedLogCapture inner;
    Log(LogLevel::Error, LogCategory::Window, "two");
    EXPECT_EQ(inner.Lines(), std::vector<std::string>{"kestrix: window: two"});
  }
  Log(LogLevel::Error, LogCategory::Window, "three");
  EXPECT_EQ(outer->Lines(),
            (std::vector<std::string>{"kestrix: window: one", "kestrix: window: three"}));

  // The older capture ending first leaves no dangling capture behind.
  auto newer = std::make_unique<ScopedLogCapture>();
  outer.reset();
  Log(LogLevel::Error, LogCategory::Window, "to the newer");
  EXPECT_EQ(newer->Lines().size(), 1u);
  newer.reset();
  ScopedLogCapture last;
  Log(LogLevel::Error, LogCategory::Window, "to the last");
  EXPECT_EQ(last.Lines().size(), 1u);
}

TEST(Log, LinesFromManyThreadsArriveWholeAndNoneIsLost) {
  ScopedLogCapture capture;
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        Log(LogLevel::Info, LogCategory::Gdi,
            "thread " + std::to_string(t) + " line " + std::to_string(i));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = capture.Lines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    int t = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "kestrix: gdi: thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(i, next[static_cast<std::size_t>(t)]++) << "each thread's lines in its order";
  }
}

TEST(LogThreshold, LetsThroughItsLevelAndTheMoreSeriousOnesOffNothingAndABadSettingIsNamed) {
  ScopedLogCapture capture(LogThreshold{false, LogLevel::Warning});
  Log(LogLevel::Info, LogCategory::Window, "info");
  Log(LogLevel::Warning, LogCategory::Window, "warning");
  Log(LogLevel::Error, LogCategory::Window, "error");
  EXPECT_EQ(capture.Lines(),
            (std::vector<std::string>{"kestrix: window: warning", "kestrix: window: error"}));

  EXPECT_FALSE(ParseLogThreshold("info").Passes(LogLevel::Debug));
  EXPECT_TRUE(ParseLogThreshold("debug").Passes(LogLevel::Debug));
  EXPECT_FALSE(ParseLogThreshold("error").Passes(LogLevel::Warning));
  EXPECT_FALSE(ParseLogThreshold("OFF").Passes(LogLevel::Error));  // case does not matter

  // Unset gives warnings quietly; an unknown value gives warnings and says what is wrong.
  std::string problem = "stale";
  for (const char* setting : {static_cast<const char*>(nullptr), "", "verbose"}) {
    const LogThreshold fallback = ParseLogThreshold(setting, &problem);
    EXPECT_TRUE(fallback.Passes(LogLevel::Warning));
    EXPECT_FALSE(fallback.Passes(LogLevel::Info));
  }
  EXPECT_EQ(problem,
            "KX_LOG \"verbose\" is not one of off, error, warning, info, debug; using warning");
  ParseLogThreshold("", &problem);
  EXPECT_EQ(problem, "");
}

TEST(Log, WithoutACaptureALineGoesToTheStandardErrorStream) {
  if (std::getenv("KX_LOG")) GTEST_SKIP() << "KX_LOG is set; the default threshold is not in use";
  ::testing::internal::CaptureStderr();
  Log(LogLevel::Error, LogCategory::Input, "click: no such window");
  Log(LogLevel::Debug, LogCategory::Input, "below the default threshold");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "kestrix: input: click: no such window\n");
}

}  // namespace
}  // namespace kx
