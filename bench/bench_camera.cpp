// Cost of one simulated camera frame: the full render, a resting view's frame (the kept scene
// under new noise), the quick preview of a frame replaced within a sleep, and rendering plus
// delivering a frame to a window.
#include <benchmark/benchmark.h>

#include "common/FrameBuffer.h"
#include "sim/SimCamera.h"
#include "sim/World.h"

namespace {

void SinkIntoBuffer(BYTE* frame, DWORD count, DWORD, DWORD, DWORD, DWORD, void* ctx, void*) {
  static_cast<kx::FrameBuffer*>(ctx)->Store(frame, count);
}

void BM_RenderFrame(benchmark::State& state) {
  const kx::World world(kx::WorldOptions{});
  // The camera over the lower-left corner feature of copy 0, moving a little every frame.
  const cv::Point2d head = world.HeadForCameraAt(world.BedFromArtwork(0, {450, 450}));
  std::uint64_t index = 0;
  for (auto _ : state) {
    const cv::Mat frame = world.RenderFrame(head + cv::Point2d(index % 7, 0), {}, index);
    benchmark::DoNotOptimize(frame.data);
    ++index;
  }
}
BENCHMARK(BM_RenderFrame)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_RestingFrame(benchmark::State& state) {
  const kx::World world(kx::WorldOptions{});
  const cv::Point2d head = world.HeadForCameraAt(world.BedFromArtwork(0, {450, 450}));
  const cv::Mat scene = world.RenderScene(head, {});
  std::uint64_t index = 0;
  for (auto _ : state) {
    cv::Mat frame = scene.clone();
    world.AddNoise(frame, index++);
    benchmark::DoNotOptimize(frame.data);
  }
}
BENCHMARK(BM_RestingFrame)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_RenderPreview(benchmark::State& state) {
  const kx::World world(kx::WorldOptions{});
  const cv::Point2d head = world.HeadForCameraAt(world.BedFromArtwork(0, {450, 450}));
  std::uint64_t index = 0;
  for (auto _ : state) {
    const cv::Mat frame = world.RenderPreview(head + cv::Point2d(index % 7, 0), {});
    benchmark::DoNotOptimize(frame.data);
    ++index;
  }
}
BENCHMARK(BM_RenderPreview)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_RenderAndDeliver(benchmark::State& state) {
  const kx::World world(kx::WorldOptions{});
  kx::SimCutter cutter(world.Options().cutter);
  const cv::Point2d head = world.HeadForCameraAt(world.BedFromArtwork(0, {450, 450}));
  cutter.sendxyNoW(static_cast<long>(head.x), static_cast<long>(head.y), 0);
  kx::SimCamera camera(world, cutter);
  kx::FrameBuffer window;
  camera.AddSink(&SinkIntoBuffer, &window);
  kx::FrameSinkList sinks;
  sinks.Add(&SinkIntoBuffer, &window);
  std::uint64_t index = 0;
  for (auto _ : state) {
    cv::Mat frame = camera.RenderAt(10000000 + static_cast<std::int64_t>(index) * 66667, index);
    sinks.Deliver(frame.data, static_cast<DWORD>(frame.total() * frame.elemSize()));
    ++index;
  }
  camera.RemoveSink(&window);
}
BENCHMARK(BM_RenderAndDeliver)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
