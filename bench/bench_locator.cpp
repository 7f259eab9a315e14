// Computing time of the template match locator per call, without its 300 ms of frame pauses,
// next to three plain correlations of the same frames (cv::matchTemplate with the normalised
// correlation coefficient and its maximum), measured in the same run.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "vision/TemplateLocator.h"

namespace {

// Three noisy frames holding a textured mark area near the centre; a template of the given
// size cut from the first, searched in a window of the given size.
struct Case {
  cv::Mat frames[kx::kMatchFrames];
  cv::Mat templ;
  cv::Rect window;

  explicit Case(const benchmark::State& state) {
    const int templSide = static_cast<int>(state.range(0));
    const int windowW = static_cast<int>(state.range(1));
    const int windowH = static_cast<int>(state.range(2));
    cv::RNG rng(42);
    for (cv::Mat& f : frames) {
      f = cv::Mat(kx::kFrameHeight, kx::kFrameWidth, CV_8UC3);
      rng.fill(f, cv::RNG::NORMAL, 128, 40);
    }
    templ = frames[0](cv::Rect(kx::kFrameCentreX - templSide / 2, kx::kFrameCentreY - templSide / 2,
                               templSide, templSide))
                .clone();
    window = cv::Rect(kx::kFrameCentreX - windowW / 2, kx::kFrameCentreY - windowH / 2, windowW,
                      windowH);
  }
};

void BM_MatchMark(benchmark::State& state) {
  const Case c(state);
  for (auto _ : state) {
    kx::MarkMatch m = kx::MatchMark(c.frames, c.templ, c.window, 1.6);
    benchmark::DoNotOptimize(m);
  }
}

// The locator's whole work on the calling thread alone: its computing time without the help of
// the worker threads, comparable with the plain correlations' time on a busy machine.
void BM_MatchMarkOneThread(benchmark::State& state) {
  const Case c(state);
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  for (auto _ : state) {
    kx::MarkMatch m = kx::MatchMark(c.frames, c.templ, c.window, 1.6);
    benchmark::DoNotOptimize(m);
  }
  cv::setNumThreads(threads);
}

// The same three correlations done one by one, as the plain library call does them.
void BM_PlainCorrelation(benchmark::State& state) {
  const Case c(state);
  cv::Mat result;
  for (auto _ : state) {
    double sum = 0.0;
    for (const cv::Mat& frame : c.frames) {
      cv::matchTemplate(frame(c.window), c.templ, result, cv::TM_CCOEFF_NORMED);
      double maxVal = 0.0;
      cv::Point maxLoc;
      cv::minMaxLoc(result, nullptr, &maxVal, nullptr, &maxLoc);
      sum += maxVal + maxLoc.x + maxLoc.y;
    }
    benchmark::DoNotOptimize(sum);
  }
}

// The demo's case (a 250-pixel mark area in the full frame), and smaller and larger ones. Wall
// time: the locator may spread its frames over several threads.
#define KX_LOCATOR_CASES(bm)          \
  BENCHMARK(bm)                       \
      ->Args({250, 480, 640})         \
      ->Args({120, 480, 640})         \
      ->Args({250, 300, 300})         \
      ->Args({400, 480, 640})         \
      ->Unit(benchmark::kMillisecond) \
      ->UseRealTime()

KX_LOCATOR_CASES(BM_PlainCorrelation);
KX_LOCATOR_CASES(BM_MatchMark);
KX_LOCATOR_CASES(BM_MatchMarkOneThread);

}  // namespace

BENCHMARK_MAIN();
