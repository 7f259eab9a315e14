// The simulated camera: renders the world at the head's position and delivers frames on its thread.
// Threads: thread-safe; frames are delivered on the camera's own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/Camera.h"
#include "host/FrameSinkList.h"
#include "sim/SimCutter.h"
#include "sim/World.h"

namespace kx {

class VirtualClock;

// Frame k (k >= 1) falls due at start + k / frameRate on the installed clock. On a virtual clock
// every frame due by the end of a sleep has been delivered, on the camera thread, before the sleep
// returns; on the system clock the camera thread runs by itself at the frame rate. Frames are
// rendered only while a sink is registered; their content depends only on the world, the knife
// and the frame index, so the same seed gives the same frames.
//
// Every frame a reader can find is the full render (RenderAt): on the system clock every frame,
// on a virtual clock the last frame due within each sleep, which is what the sleeping thread
// finds when it wakes. A frame that a later one of the same sleep replaces is still delivered,
// as a quick preview of the same view (World::RenderPreview), so a live view in passing shows the
// head moving; RenderEveryFrameInFull(true) renders those in full too. While the head rests over
// unchanged cuts the scene is kept and only the noise is new.
//
// With the world's camera.previewWhileMoving (the default), a frame taken while the head travels
// (SimCutter::TravellingAt with a frame period's horizon and a 50-unit margin) is a preview as
// well: on its way the head is read only for its position, and it is still on its way when the
// next frame replaces this one. The frame current when the head stops, and every frame within
// 50 units of the stop, is the full render.
class SimCamera final : public ICamera {
 public:
  SimCamera(const World& world, const SimCutter& cutter);
  ~SimCamera() override;
  SimCamera(const SimCamera&) = delete;
  SimCamera& operator=(const SimCamera&) = delete;

  void AddSink(FrameCallback callback, void* context) override;
  void RemoveSink(void* context) override;

  // Starts the frames at the installed clock's present time; a virtual clock is followed through
  // its listeners. Stop waits for the camera thread; both may be called more than once.
  void Start();
  void Stop();

  // The index of the next frame: one more than the frames that have fallen due and been handled
  // (rendered when a sink was registered).
  std::uint64_t FrameCount() const;
  // The frame the camera shows at a clock time, with the noise of frame index (the full render).
  cv::Mat RenderAt(std::int64_t micros, std::uint64_t index) const;
  // A camera that stops delivering: frames falling due at or after micros (clock time) are not
  // delivered to any sink (they still fall due). Never by default.
  void StopDeliveringAt(std::int64_t micros) { m_stopAt.store(micros); }

  // Whether frames replaced within one sleep of a virtual clock are rendered in full as well
  // (default: as previews).
  void RenderEveryFrameInFull(bool on) { m_everyFrameInFull.store(on); }

 private:
  struct Sync;
  // The last full scene the camera thread rendered, and what it showed.
  struct SceneCache {
    cv::Mat scene;
    cv::Point2d head;
    std::vector<BedSegment> cuts;
    cv::Mat frame;  // the last frame delivered
  };
  void Run(std::shared_ptr<Sync> sync);
  cv::Mat Render(std::int64_t micros, std::uint64_t index, bool seen, SceneCache* cache) const;

  const World& m_world;
  const SimCutter& m_cutter;
  FrameSinkList m_sinks;
  std::shared_ptr<Sync> m_sync;
  std::thread m_thread;
  VirtualClock* m_virtual = nullptr;
  int m_listener = 0;
  std::int64_t m_period = 0;
  std::atomic<bool> m_everyFrameInFull{false};
  std::atomic<std::int64_t> m_stopAt{INT64_MAX};
};

}  // namespace kx
