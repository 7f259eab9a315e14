// The list of frame sinks a camera delivers to, safe against removal during delivery.
// Threads: thread-safe; Deliver runs on the camera thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "host/Camera.h"

namespace kx {

// Shared by camera implementations. Deliver runs on the camera thread; Add and Remove on any.
class FrameSinkList {
 public:
  void Add(FrameCallback callback, void* context);
  // Blocks until a callback for context that is running on another thread has returned.
  void Remove(void* context);
  bool Empty() const;
  std::size_t Size() const;
  // Calls every registered sink with the frame, one after the other, on the calling thread.
  void Deliver(BYTE* frame, DWORD byteCount);

 private:
  struct Sink {
    FrameCallback callback;
    void* context;
  };
  mutable std::mutex m_mutex;
  std::condition_variable m_idle;
  std::vector<Sink> m_sinks;
  void* m_running = nullptr;  // context whose callback runs now
  std::thread::id m_runningThread;
};

}  // namespace kx
