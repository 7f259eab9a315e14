// Computing time of the template match locator per call, without its 300 ms of frame pauses.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "common/Frame.h"
#include "vision/TemplateLocator.h"

namespace {

// Three noisy frames holding a textured mark area near the centre; a template of the given
// size cut from the first, searched in a window of the given size.
void BM_MatchMark(benchmark::State& state) {
  const int templSide = static_cast<int>(state.range(0));
  const int windowW = static_cast<int>(state.range(1));
  const int windowH = static_cast<int>(state.range(2));
  cv::RNG rng(42);
  cv::Mat frames[kx::kMatchFrames];
  for (cv::Mat& f : frames) {
    f = cv::Mat(kx::kFrameHeight, kx::kFrameWidth, CV_8UC3);
    rng.fill(f, cv::RNG::NORMAL, 128, 40);
  }
  const cv::Mat templ = frames[0](cv::Rect(kx::kFrameCentreX - templSide / 2,
                                           kx::kFrameCentreY - templSide / 2, templSide, templSide))
                            .clone();
  const cv::Rect window(kx::kFrameCentreX - windowW / 2, kx::kFrameCentreY - windowH / 2, windowW,
                        windowH);
  for (auto _ : state) {
    kx::MarkMatch m = kx::MatchMark(frames, templ, window, 1.6);
    benchmark::DoNotOptimize(m);
  }
}

// The demo's case (a 250-pixel mark area in the full frame), and smaller and larger ones.
BENCHMARK(BM_MatchMark)
    ->Args({250, 480, 640})
    ->Args({120, 480, 640})
    ->Args({250, 300, 300})
    ->Args({400, 480, 640})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
