// Cost of a capture's montage: the full-resolution bitmap joined from the tiles and the display
// copy zoomed by the image library, for square grids; time per montage and peak memory against
// the raw bytes of the montage (cols x rows x 921,600).
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "acquire/Montage.h"
#include "common/Frame.h"
#include "platform/Gdi.h"

namespace {

// A field of /proc/self/status in bytes ("VmRSS:", "VmHWM:").
std::uint64_t StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == field) {
      std::uint64_t kib = 0;
      status >> kib;
      return kib * 1024;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

// Starts a new peak: the kernel sets VmHWM back to the current resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// What the dialog does after the walk: a montage bitmap, the tiles joined into it, the display
// copy for a 400 x 352 view; the bitmap is released again as the next capture would.
void Montage(const std::vector<cv::Mat>& tiles, int n) {
  const int W = n * kx::kFrameWidth;
  const int H = n * kx::kFrameHeight;
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(W, H, false);
  void* bits = nullptr;
  HBITMAP montage = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  kx::AssembleMontage(tiles, n, n, static_cast<BYTE*>(bits));
  const kx::ZoomGeometry zoom = kx::MontageZoomGeometry(RECT{0, 0, 400, 352}, W, H);
  BITMAPINFOHEADER header{};
  std::vector<BYTE> pixels;
  std::string error;
  kx::MakeMontageDisplay(static_cast<BYTE*>(bits), W, H, zoom.width, zoom.height, &header, &pixels,
                         &error);
  benchmark::DoNotOptimize(pixels.data());
  DeleteObject(montage);
}

void BM_Montage(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  kx::InitImageLibrary();
  const std::uint64_t before = StatusBytes("VmRSS:");
  cv::Mat first(kx::kFrameHeight, kx::kFrameWidth, CV_8UC3);
  cv::randu(first, 0, 256);
  std::vector<cv::Mat> tiles;
  for (int i = 0; i < n * n; ++i) tiles.push_back(first + cv::Scalar::all(i % 7));
  ResetPeak();
  for (auto _ : state) Montage(tiles, n);
  const double raw = static_cast<double>(kx::MontageBytes(n, n));
  // Tiles held and everything the montage needed on top, from before the tiles were taken.
  const double peak = static_cast<double>(StatusBytes("VmHWM:") - before);
  state.counters["raw_MiB"] = raw / (1 << 20);
  state.counters["peak_MiB"] = peak / (1 << 20);
  state.counters["peak_over_raw"] = peak / raw;
}
BENCHMARK(BM_Montage)
    ->ArgName("grid")
    ->Arg(1)
    ->Arg(5)
    ->Arg(10)
    ->Arg(15)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
