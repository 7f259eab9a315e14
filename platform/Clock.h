// The clock every sleep and time reading goes through: the system clock or a virtual one.
// Threads: thread-safe, except that only one thread sleeps on a virtual clock at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "common/WinTypes.h"

namespace kx {

class IClock {
 public:
  virtual ~IClock() = default;
  // Microseconds since the clock's own epoch; callable from any thread.
  virtual std::int64_t NowMicros() const = 0;
  // Blocks the calling thread for the given time (the system clock) or advances virtual time at
  // once (the virtual clock).
  virtual void SleepMicros(std::int64_t micros) = 0;
};

// Real time: steady clock, real sleeps.
class SystemClock final : public IClock {
 public:
  std::int64_t NowMicros() const override;
  void SleepMicros(std::int64_t micros) override;
};

// Virtual time. A sleep advances the time at once; before it returns, every listener is told the
// interval that passed, on the sleeping thread, so that simulated devices catch up (the camera
// delivers every frame that fell due). Only one thread sleeps on it at a time.
class VirtualClock final : public IClock {
 public:
  using Listener = std::function<void(std::int64_t fromMicros, std::int64_t toMicros)>;

  explicit VirtualClock(std::int64_t startMicros = 0) : m_now(startMicros) {}
  std::int64_t NowMicros() const override { return m_now.load(std::memory_order_acquire); }
  void SleepMicros(std::int64_t micros) override { Advance(micros); }

  // Moves time forward by micros (negative counts as 0) and runs the listeners.
  void Advance(std::int64_t micros);

  // Returns an id for RemoveListener. Listeners must not add or remove listeners.
  int AddListener(Listener listener);
  void RemoveListener(int id);

 private:
  std::atomic<std::int64_t> m_now;
  std::mutex m_mutex;  // guards the listener table
  std::vector<std::pair<int, Listener>> m_listeners;
  int m_nextId = 1;
};

// The installed clock (the system clock until another is installed). Install nullptr to go back
// to the system clock. The caller keeps ownership of what it installs.
IClock& Clock();
void InstallClock(IClock* clock);

// Installs a clock for the lifetime of the scope and restores the previous one afterwards.
class ScopedClock {
 public:
  explicit ScopedClock(IClock* clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  IClock* m_previous;
};

}  // namespace kx

// The familiar names: sleep for ms milliseconds, milliseconds since the clock's epoch.
void Sleep(DWORD ms);
DWORD GetTickCount();
