// The run dialog's live view per camera frame: the crosshair copy, the frame buffer and the blit
// into the picture (UpdateImage, through the camera entry), on a dialog made ready by its own
// initialisation over a simulated machine.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <system_error>

#include "common/Frame.h"
#include "host/ResourceIds.h"
#include "run/KestrixDialog.h"
#include "scenario/Scenario.h"

namespace {

void BM_UpdateImage(benchmark::State& state) {
  std::error_code ec;
  const std::filesystem::path config =
      std::filesystem::temp_directory_path(ec) / "kestrix-bench-liveview";
  std::filesystem::create_directories(config, ec);
  {
    kx::Scenario scenario(kx::WorldOptions{}, config);
    scenario.StoreCalibration();
    CKestrixDialog dialog(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
    if (!dialog.Create(IDD_KESTRIX_RUN)) {
      state.SkipWithError("the run dialog could not be created");
      return;
    }
    // A real frame of the simulated camera; nothing advances the clock, so the camera thread
    // stays quiet and every call below is one frame's work.
    cv::Mat frame = scenario.Machine().Cam().RenderAt(0, 1);
    for (auto _ : state) {
      CKestrixDialog::BmpFrameCallback(frame.data, static_cast<DWORD>(kx::kFrameBytes), 0, 0, 0, 0,
                                       &dialog, nullptr);
    }
    dialog.DestroyWindow();
  }
  std::filesystem::remove_all(config, ec);
}
BENCHMARK(BM_UpdateImage)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
