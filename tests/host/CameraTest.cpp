// The camera layer: sinks, removal during delivery, the system's error texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/Camera.h"
#include "host/FrameSinkList.h"

namespace kx {
namespace {

struct Window {
  std::atomic<int> frames{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  bool block = false;
  static void BmpFrameCallback(BYTE* frame, DWORD count, DWORD, DWORD, DWORD, DWORD, void* context,
                               void*) {
    auto* w = static_cast<Window*>(context);
    if (!frame || count == 0) return;
    w->inside = true;
    while (w->block && !w->release) std::this_thread::yield();
    ++w->frames;
    w->inside = false;
  }
};

TEST(FrameSinks, EveryRegisteredWindowGetsEachFrameOnce) {
  FrameSinkList sinks;
  Window a, b;
  BYTE pixel = 1;
  sinks.Add(&Window::BmpFrameCallback, &a);
  sinks.Add(&Window::BmpFrameCallback, &a);  // replaces, does not duplicate
  sinks.Add(&Window::BmpFrameCallback, &b);
  sinks.Add(nullptr, &b);
  sinks.Deliver(&pixel, 1);
  sinks.Remove(&a);
  sinks.Deliver(&pixel, 1);
  EXPECT_EQ(a.frames, 1);
  EXPECT_EQ(b.frames, 2);
}

TEST(FrameSinks, RemoveWaitsForARunningCallback) {
  FrameSinkList sinks;
  Window w;
  w.block = true;
  sinks.Add(&Window::BmpFrameCallback, &w);
  BYTE pixel = 1;
  std::thread camera([&] { sinks.Deliver(&pixel, 1); });
  while (!w.inside) std::this_thread::yield();
  std::atomic<bool> removed{false};
  std::thread remover([&] {
    sinks.Remove(&w);
    removed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(removed);  // still inside the callback
  w.release = true;
  remover.join();
  EXPECT_TRUE(removed);
  EXPECT_FALSE(w.inside);  // the callback had finished when Remove returned
  camera.join();
  sinks.Deliver(&pixel, 1);
  EXPECT_EQ(w.frames, 1);
}

// The camera's own table and the fallback the run dialog's suite checks through its message box.
TEST(CameraErrorText, ASystemErrorHasTheSystemsText) {
  EXPECT_EQ(CameraErrorText(2), "No such file or directory");
}

}  // namespace
}  // namespace kx
