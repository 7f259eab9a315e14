// The simulated camera.
#include "sim/SimCamera.h"

#include <algorithm>
#include <cmath>

#include "common/Frame.h"
#include "platform/Clock.h"

namespace kx {

namespace {
// Within this many cutter units of where it stops, a moving head's frames are rendered in full:
// readers look once the head is within a few units of its target.
constexpr double kNearRest = 50.0;

bool SameCuts(const std::vector<BedSegment>& a, const std::vector<BedSegment>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const BedSegment& x, const BedSegment& y) { return x.a == y.a && x.b == y.b; });
}
}  // namespace

// Shared with the clock listener, which may outlive a stopped camera by one call.
struct SimCamera::Sync {
  std::mutex mutex;
  std::condition_variable changed;
  bool stopped = false;
  bool followsClock = false;  // virtual: frames wait for the clock to reach them
  std::int64_t clockNow = 0;  // the virtual time reached
  std::uint64_t next = 1;     // index of the next frame to handle; frame 0 is the start itself
  std::int64_t start = 0;     // clock time of frame 0
  std::int64_t period = 1;

  std::int64_t Due(std::uint64_t index) const {
    return start + static_cast<std::int64_t>(index) * period;
  }
};

SimCamera::SimCamera(const World& world, const SimCutter& cutter)
    : m_world(world), m_cutter(cutter) {
  m_period = static_cast<std::int64_t>(std::llround(1e6 / world.Options().camera.frameRate));
}

SimCamera::~SimCamera() { Stop(); }

void SimCamera::AddSink(FrameCallback callback, void* context) { m_sinks.Add(callback, context); }
void SimCamera::RemoveSink(void* context) { m_sinks.Remove(context); }

void SimCamera::Start() {
  if (m_thread.joinable()) return;
  auto sync = std::make_shared<Sync>();
  sync->start = Clock().NowMicros();
  sync->period = m_period;
  sync->clockNow = sync->start;
  m_virtual = dynamic_cast<VirtualClock*>(&Clock());
  sync->followsClock = m_virtual != nullptr;
  m_sync = sync;
  if (m_virtual) {
    m_listener = m_virtual->AddListener([sync](std::int64_t, std::int64_t to) {
      std::unique_lock<std::mutex> lock(sync->mutex);
      if (sync->stopped) return;
      sync->clockNow = std::max(sync->clockNow, to);
      sync->changed.notify_all();
      // The sleep returns only when every frame due by now has been delivered.
      sync->changed.wait(lock,
                         [&] { return sync->stopped || sync->Due(sync->next) > sync->clockNow; });
    });
  }
  m_thread = std::thread([this, sync] { Run(sync); });
}

void SimCamera::Stop() {
  if (!m_sync) return;
  {
    std::lock_guard<std::mutex> lock(m_sync->mutex);
    m_sync->stopped = true;
  }
  m_sync->changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
  if (m_virtual) m_virtual->RemoveListener(m_listener);
  m_virtual = nullptr;
  m_sync.reset();
}

std::uint64_t SimCamera::FrameCount() const {
  if (!m_sync) return 0;
  std::lock_guard<std::mutex> lock(m_sync->mutex);
  return m_sync->next;
}

cv::Mat SimCamera::RenderAt(std::int64_t micros, std::uint64_t index) const {
  return m_world.RenderFrame(m_cutter.PositionAt(micros), m_cutter.KnifeTrace(micros), index);
}

cv::Mat SimCamera::Render(std::int64_t micros, std::uint64_t index, bool seen,
                          SceneCache* cache) const {
  const cv::Point2d head = m_cutter.PositionAt(micros);
  std::vector<BedSegment> cuts = m_cutter.KnifeTrace(micros);
  if (!seen) {
    m_world.RenderPreview(head, cuts, &cache->frame);
    return cache->frame;
  }
  // A head at rest over unchanged cuts shows the same scene: only the noise is new.
  if (cache->scene.empty() || head != cache->head || !SameCuts(cuts, cache->cuts)) {
    cache->scene = m_world.RenderScene(head, cuts);
    cache->head = head;
    cache->cuts = std::move(cuts);
  }
  // The delivered frame reuses one buffer: sinks copy what they keep.
  cache->scene.copyTo(cache->frame);
  m_world.AddNoise(cache->frame, index);
  return cache->frame;
}

void SimCamera::Run(std::shared_ptr<Sync> sync) {
  SceneCache cache;
  std::unique_lock<std::mutex> lock(sync->mutex);
  while (!sync->stopped) {
    const std::uint64_t index = sync->next;
    const std::int64_t due = sync->Due(index);
    if (sync->followsClock) {
      if (due > sync->clockNow) {
        sync->changed.wait(lock);
        continue;
      }
    } else {
      const std::int64_t wait = due - Clock().NowMicros();
      if (wait > 0) {
        sync->changed.wait_for(lock, std::chrono::microseconds(wait));
        continue;
      }
    }
    // On a virtual clock the sleeping thread wakes to the last frame due by the time it sleeps
    // to; a frame that another replaces before then is seen by nobody but a live view in passing.
    const bool everyFrame = m_everyFrameInFull.load();
    bool seen = !sync->followsClock || everyFrame || sync->Due(index + 1) > sync->clockNow;
    // A frame taken on the way is replaced before the head comes near where it stops, and a
    // reader waits for the head to arrive before it looks.
    if (seen && !everyFrame && m_world.Options().camera.previewWhileMoving &&
        m_cutter.TravellingAt(due, sync->period, kNearRest))
      seen = false;
    lock.unlock();
    if (!m_sinks.Empty() && due < m_stopAt.load()) {
      cv::Mat frame = Render(due, index, seen, &cache);
      m_sinks.Deliver(frame.data, static_cast<DWORD>(kFrameBytes));
    }
    lock.lock();
    sync->next = index + 1;
    sync->changed.notify_all();
  }
}

}  // namespace kx
