// The list of frame sinks a camera delivers to.
#include "host/FrameSinkList.h"

#include <algorithm>

namespace kx {

void FrameSinkList::Add(FrameCallback callback, void* context) {
  if (!callback || !context) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (Sink& s : m_sinks) {
    if (s.context == context) {
      s.callback = callback;
      return;
    }
  }
  m_sinks.push_back({callback, context});
}

void FrameSinkList::Remove(void* context) {
  std::unique_lock<std::mutex> lock(m_mutex);
  std::erase_if(m_sinks, [context](const Sink& s) { return s.context == context; });
  // A callback that unregisters its own window must not wait for itself.
  m_idle.wait(
      lock, [&] { return m_running != context || m_runningThread == std::this_thread::get_id(); });
}

bool FrameSinkList::Empty() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sinks.empty();
}

std::size_t FrameSinkList::Size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sinks.size();
}

void FrameSinkList::Deliver(BYTE* frame, DWORD byteCount) {
  std::vector<void*> contexts;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Sink& s : m_sinks) contexts.push_back(s.context);
  }
  // Each sink is looked up again just before its call so that a sink removed meanwhile is skipped.
  for (void* context : contexts) {
    FrameCallback callback = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      auto it = std::find_if(m_sinks.begin(), m_sinks.end(),
                             [context](const Sink& s) { return s.context == context; });
      if (it == m_sinks.end()) continue;
      callback = it->callback;
      m_running = context;
      m_runningThread = std::this_thread::get_id();
    }
    callback(frame, byteCount, 0, 0, 0, 0, context, nullptr);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_running = nullptr;
      m_runningThread = std::thread::id();
    }
    m_idle.notify_all();
  }
}

}  // namespace kx
