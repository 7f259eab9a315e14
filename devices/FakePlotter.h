// A cutter on the far end of a pseudo-terminal: parses what a driver sends (HPGL or GRBL) into
// strokes, answers as the device would, and can stall, hold XOFF and hang up.
// Threads: thread-safe; the device runs on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devices/SerialCutter.h"
#include "host/CutterDriver.h"

namespace kx {

// One move the device made, in cutter units; mode kMoveCut with the knife down.
struct PlotterStroke {
  int mode = kMoveTravel;
  double x = 0;
  double y = 0;
};

class FakePlotter {
 public:
  // target, when given, is moved as the device moves (its sendxyNoW with each stroke, rounded to
  // the nearest cutter unit) and answers the device's position (its GetPlotterData); a
  // simulated cutter there lets the simulated camera see where the device is. The caller keeps
  // ownership and keeps it alive while the plotter runs.
  explicit FakePlotter(CutterProtocol protocol, int unitsPerInch = 1016,
                       ICutterDriver* target = nullptr);
  ~FakePlotter();
  FakePlotter(const FakePlotter&) = delete;
  FakePlotter& operator=(const FakePlotter&) = delete;

  // Opens the pseudo-terminal and starts the device. False with *error when it cannot.
  bool Start(std::string* error);
  // The path a driver opens (/dev/pts/N).
  std::string PortPath() const { return m_slavePath; }

  // Every byte the device has read, in order.
  std::string Received() const;
  std::uint64_t BytesReceived() const;
  // Waits (real time, at most timeoutMs) until the device has read and handled count bytes.
  bool WaitForBytes(std::uint64_t count, int timeoutMs) const;
  std::vector<PlotterStroke> Strokes() const;
  bool KnifeDown() const;

  // Faults: a stalled device reads and answers nothing; a rejecting GRBL device answers every
  // line with "error:9" and ignores it; XOFF and XON are sent at once; a hang-up closes the
  // device's end for good.
  void SetStalled(bool stalled);
  void SetRejectLines(bool reject);
  void SendXoff();
  void SendXon();
  void HangUp();

 private:
  void Run();
  void HandleLocked(const char* bytes, std::size_t count);
  void HpglCommandLocked(const std::string& command);
  void GrblLineLocked(const std::string& line);
  void MoveLocked(double x, double y, int mode);
  void AnswerLocked(const std::string& text);
  void StatusLocked();

  CutterProtocol m_protocol;
  int m_unitsPerInch;
  ICutterDriver* m_target;
  int m_master = -1;
  int m_slave = -1;  // kept open so that the master reads nothing but data before a driver comes
  std::string m_slavePath;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  bool m_stop = false;
  bool m_stalled = false;
  bool m_reject = false;
  bool m_hungUp = false;
  std::string m_received;
  std::uint64_t m_handled = 0;
  std::string m_pending;  // a command not yet complete
  std::vector<PlotterStroke> m_strokes;
  bool m_knifeDown = false;
  double m_x = 0;
  double m_y = 0;
  bool m_rapid = true;  // GRBL's modal G0 (true) or G1
};

}  // namespace kx
