// What the simulated camera delivers: on a virtual clock every due frame before a sleep returns,
// the frame a sleeping thread wakes to the full render of that moment, frames replaced within a
// sleep quick previews of their own view, a resting view its scene under new noise, the same
// frames for the same seed; on the system clock frames by themselves until stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Frame.h"
#include "platform/Clock.h"
#include "sim/SimMachine.h"

namespace kx::test {
namespace {

// Every delivered frame in delivery order (numbered from 1), with the thread it came on.
struct Recorder {
  std::mutex mutex;
  std::vector<cv::Mat> frames;
  std::vector<std::thread::id> threads;
  static void BmpFrameCallback(BYTE* frame, DWORD count, DWORD, DWORD, DWORD, DWORD, void* ctx,
                               void*) {
    auto* self = static_cast<Recorder*>(ctx);
    if (!frame || count != kFrameBytes) return;
    std::lock_guard<std::mutex> lock(self->mutex);
    self->frames.push_back(cv::Mat(kFrameHeight, kFrameWidth, CV_8UC3, frame).clone());
    self->threads.push_back(std::this_thread::get_id());
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return frames.size();
  }
};

WorldOptions SmallWorld() {
  WorldOptions o;
  o.copies.columns = 2;
  o.copies.rows = 2;
  o.camera.frameRate = 15;
  return o;
}

double MeanDifference(const cv::Mat& a, const cv::Mat& b) {
  return cv::norm(a, b, cv::NORM_L1) / static_cast<double>(a.total() * a.channels());
}

// A path over the artwork: travel across copy 0, cut a square, travel again, rest; the clock
// advances in sleeps of different lengths. After every sleep, check(frame count) runs on the
// sleeping thread with every frame of the sleep delivered.
class Drive {
 public:
  explicit Drive(const WorldOptions& o) : machine(o) {
    RegisterFrameSink(&Recorder::BmpFrameCallback, &recorder);
  }
  ~Drive() { UnregisterFrameSink(&recorder); }

  void Run(const std::function<void()>& afterSleep) {
    const World& world = machine.GetWorld();
    const cv::Point2d a = world.HeadForCameraAt(world.BedFromArtwork(0, {400, 400}));
    const cv::Point2d b = world.HeadForCameraAt(world.BedFromArtwork(0, {5000, 3000}));
    auto go = [](cv::Point2d p, int mode) {
      sendxyNoW(static_cast<long>(p.x), static_cast<long>(p.y), mode);
    };
    go(a, kMoveTravel);
    go(b, kMoveTravel);
    for (auto [dx, dy] : {std::pair{400, 0}, {400, 400}, {0, 400}, {0, 0}})
      go(b + cv::Point2d(dx, dy), kMoveCut);
    go(a, kMoveTravel);
    const int sleeps[] = {30, 100, 200, 70, 350, 100, 66, 67, 500, 100};
    for (int round = 0; round < 4; ++round) {
      for (int ms : sleeps) {
        Sleep(static_cast<DWORD>(ms));
        afterSleep();
      }
    }
  }

  SimMachine machine;
  Recorder recorder;
};

// Checks, after every sleep of the drive, the frame the sleeper wakes to: the full render of its
// moment, unless the head was travelling then and previewWhileMoving allows a preview. Returns the
// indices of the frames it checked.
std::vector<std::uint64_t> CheckFramesSleepersFind(Drive& drive, bool previewWhileMoving, int* full,
                                                   int* previews) {
  SimCamera& camera = drive.machine.Cam();
  const SimCutter& cutter = drive.machine.Cutter();
  const std::int64_t period = static_cast<std::int64_t>(std::llround(1e6 / 15.0));
  std::size_t seen = 0;
  std::vector<std::uint64_t> latest;
  drive.Run([&] {
    std::lock_guard<std::mutex> lock(drive.recorder.mutex);
    const auto& frames = drive.recorder.frames;
    if (frames.size() == seen) return;  // no frame fell due in this sleep
    seen = frames.size();
    const std::uint64_t index = camera.FrameCount() - 1;
    ASSERT_EQ(index, frames.size());
    const std::int64_t due = static_cast<std::int64_t>(index) * period;
    const cv::Mat render = camera.RenderAt(due, index);
    const bool travelling = cutter.TravellingAt(due, period, 50);
    if (previewWhileMoving && travelling) {
      EXPECT_GT(cv::norm(frames.back(), render, cv::NORM_INF), 0.0) << "frame " << index;
      EXPECT_LT(MeanDifference(frames.back(), render), 8.0) << "frame " << index;
      ++*previews;
    } else {
      EXPECT_EQ(cv::norm(frames.back(), render, cv::NORM_INF), 0.0) << "frame " << index;
      ++*full;
    }
    latest.push_back(index);
  });
  return latest;
}

TEST(SimCameraFrames, TheFrameASleeperWakesToIsTheFullRenderOfItsMoment) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  WorldOptions o = SmallWorld();
  o.camera.previewWhileMoving = false;
  Drive drive(o);
  SimCamera& camera = drive.machine.Cam();
  const std::int64_t period = static_cast<std::int64_t>(std::llround(1e6 / 15.0));
  int full = 0, previews = 0;
  const std::vector<std::uint64_t> latest = CheckFramesSleepersFind(drive, false, &full, &previews);
  EXPECT_GT(full, 20);

  // The frames in between were delivered too, as previews of their own moment's view: close to
  // that moment's full render, further from the frame before theirs while the head moves.
  std::lock_guard<std::mutex> lock(drive.recorder.mutex);
  const auto& frames = drive.recorder.frames;
  int between = 0;
  for (std::size_t i = 2; i <= frames.size(); ++i) {
    if (std::find(latest.begin(), latest.end(), i) != latest.end()) continue;
    const cv::Mat render = camera.RenderAt(static_cast<std::int64_t>(i) * period, i);
    const cv::Mat before = camera.RenderAt(static_cast<std::int64_t>(i - 1) * period, i - 1);
    const double own = MeanDifference(frames[i - 1], render);
    EXPECT_LT(own, 8.0) << "frame " << i;
    if (MeanDifference(render, before) > 3 * own) ++between;
  }
  EXPECT_GT(between, 3) << "previews that show their own view while the head moves";
}

TEST(SimCameraFrames, OnTheWayASleeperFindsAPreviewAndOnArrivalTheFullRender) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  Drive drive(SmallWorld());  // frames in motion are previews by default
  int full = 0, previews = 0;
  const std::vector<std::uint64_t> latest = CheckFramesSleepersFind(drive, true, &full, &previews);
  EXPECT_GT(full, 20);
  EXPECT_GT(previews, 5);
  // The stop of the drive: the frame current when the head comes to rest is the
  // full render.
  const SimCutter& cutter = drive.machine.Cutter();
  SimCamera& camera = drive.machine.Cam();
  const std::int64_t period = static_cast<std::int64_t>(std::llround(1e6 / 15.0));
  std::lock_guard<std::mutex> lock(drive.recorder.mutex);
  const auto& frames = drive.recorder.frames;
  int stops = 0;
  for (const CutterMove& move : cutter.Moves()) {
    const std::uint64_t index = static_cast<std::uint64_t>(move.end / period);
    if (std::find(latest.begin(), latest.end(), index) == latest.end() ||
        cutter.TravellingAt(move.end, 0, 0))
      continue;
    const cv::Mat render = camera.RenderAt(static_cast<std::int64_t>(index) * period, index);
    EXPECT_EQ(cv::norm(frames[index - 1], render, cv::NORM_INF), 0.0) << "frame " << index;
    ++stops;
  }
  EXPECT_EQ(stops, 1);  // the drive queues its moves back to back: one stop
}

TEST(SimCameraFrames, ARestingViewKeepsItsSceneUnderNewNoise) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  const WorldOptions o = SmallWorld();
  SimMachine machine(o);
  Recorder recorder;
  RegisterFrameSink(&Recorder::BmpFrameCallback, &recorder);
  for (int i = 0; i < 20; ++i) Sleep(i % 3 == 2 ? 66 : 67);  // a frame a sleep; the head rests
  UnregisterFrameSink(&recorder);
  std::lock_guard<std::mutex> lock(recorder.mutex);
  ASSERT_GE(recorder.frames.size(), 10u);
  const cv::Mat scene = machine.GetWorld().RenderScene(machine.Cutter().Position(), {});
  for (std::size_t i = 1; i < recorder.frames.size(); ++i) {
    const cv::Mat& a = recorder.frames[i - 1];
    const cv::Mat& b = recorder.frames[i];
    EXPECT_GT(cv::norm(a, b, cv::NORM_INF), 0.0) << "frames " << i << " and " << i + 1;
    // Noise of sigma 4 around the same scene: the mean stays put, no pixel strays far.
    EXPECT_LT(MeanDifference(b, scene), 4.0);
    EXPECT_LT(cv::norm(b, scene, cv::NORM_INF), 40.0);
  }
}

TEST(SimCamera, VirtualClockDeliversEveryDueFrameBeforeTheSleepReturns) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  WorldOptions o = SmallWorld();
  o.camera.frameRate = 10;
  SimMachine machine(o);
  Recorder log;
  RegisterFrameSink(&Recorder::BmpFrameCallback, &log);
  // Frames at 100, 200, 300 ... ms after the start.
  Sleep(200);
  EXPECT_EQ(log.Count(), 2u);
  Sleep(50);
  EXPECT_EQ(log.Count(), 2u);
  Sleep(50);
  EXPECT_EQ(log.Count(), 3u);
  for (int i = 0; i < 10; ++i) Sleep(100);
  EXPECT_EQ(log.Count(), 13u);
  EXPECT_EQ(machine.Cam().FrameCount(), 14u);
  UnregisterFrameSink(&log);
  Sleep(1000);
  EXPECT_EQ(log.Count(), 13u);
  for (std::thread::id id : log.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(SimCamera, SameSeedGivesSameFrames) {
  auto run = [](std::uint64_t seed) {
    VirtualClock clock;
    ScopedClock scoped(&clock);
    WorldOptions o = SmallWorld();
    o.seed = seed;
    SimMachine machine(o);
    Recorder log;
    RegisterFrameSink(&Recorder::BmpFrameCallback, &log);
    const cv::Point2d head =
        machine.GetWorld().HeadForCameraAt(machine.GetWorld().BedFromArtwork(0, {450, 450}));
    sendxyNoW(static_cast<long>(head.x), static_cast<long>(head.y), kMoveTravel);
    for (int i = 0; i < 5; ++i) Sleep(200);
    UnregisterFrameSink(&log);
    return std::move(log.frames);
  };
  const auto a = run(7), b = run(7), c = run(8);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_EQ(a.size(), c.size());
  bool anyDiffers = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(cv::norm(a[i], b[i], cv::NORM_INF), 0.0) << i;
    anyDiffers = anyDiffers || cv::norm(a[i], c[i], cv::NORM_INF) > 0;
  }
  EXPECT_TRUE(anyDiffers);
}

TEST(SimCamera, SystemClockRunsByItselfUntilStopped) {
  WorldOptions o = SmallWorld();
  o.camera.frameRate = 100;
  SimMachine machine(o);
  Recorder log;
  RegisterFrameSink(&Recorder::BmpFrameCallback, &log);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (log.Count() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_GE(log.Count(), 3u) << "frames arrive without anyone advancing a clock";
  machine.Cam().Stop();
  const std::size_t n = log.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // five frame periods
  EXPECT_EQ(log.Count(), n) << "a frame after Stop";
  UnregisterFrameSink(&log);
}

}  // namespace
}  // namespace kx::test
