// The clock every sleep and time reading goes through: the system clock or a virtual one.
#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kx {

std::int64_t SystemClock::NowMicros() const {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMicros(std::int64_t micros) {
  if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void VirtualClock::Advance(std::int64_t micros) {
  const std::int64_t from = m_now.load(std::memory_order_acquire);
  const std::int64_t to = from + std::max<std::int64_t>(micros, 0);
  m_now.store(to, std::memory_order_release);
  std::vector<std::pair<int, Listener>> listeners;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    listeners = m_listeners;
  }
  for (auto& [id, listener] : listeners) listener(from, to);
}

int VirtualClock::AddListener(Listener listener) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int id = m_nextId++;
  m_listeners.emplace_back(id, std::move(listener));
  return id;
}

void VirtualClock::RemoveListener(int id) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

namespace {
SystemClock g_systemClock;
std::atomic<IClock*> g_clock{&g_systemClock};
}  // namespace

IClock& Clock() { return *g_clock.load(std::memory_order_acquire); }

void InstallClock(IClock* clock) {
  g_clock.store(clock ? clock : &g_systemClock, std::memory_order_release);
}

ScopedClock::ScopedClock(IClock* clock) : m_previous(&Clock()) { InstallClock(clock); }
ScopedClock::~ScopedClock() { InstallClock(m_previous); }

}  // namespace kx

void Sleep(DWORD ms) { kx::Clock().SleepMicros(static_cast<std::int64_t>(ms) * 1000); }

DWORD GetTickCount() { return static_cast<DWORD>(kx::Clock().NowMicros() / 1000); }
