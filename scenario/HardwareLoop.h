// The hardware-in-the-loop machine: the serial cutter driver talks to a fake plotter on a
// pseudo-terminal, whose parsed moves drive the simulated cutter the simulated camera looks from.
// Threads: bound to one thread (the one that runs the module); the plotter runs on its own.
#pragma once

#include <memory>
#include <string>

#include "devices/FakePlotter.h"
#include "devices/SerialCutter.h"
#include "scenario/Scenario.h"

namespace kx {

// Installs the serial cutter as the cutter driver of a scenario for its lifetime (the simulated
// cutter comes back afterwards). The settings are left as they are: the driver answers to the
// "Port" they hold, so a later run with them never looks for the pseudo-terminal. The driver's bed,
// speeds and acceleration are the world's cutter's, so the HPGL kinematic model and the simulated
// head agree. Every write waits until the plotter has handled it, so each move starts on the clock
// when it was sent, as it does on the simulated cutter.
class HardwareLoop {
 public:
  ~HardwareLoop();
  HardwareLoop(const HardwareLoop&) = delete;
  HardwareLoop& operator=(const HardwareLoop&) = delete;

  // Null with *error when the pseudo-terminal or the port cannot be opened. dryRun sends every
  // move with the knife up.
  static std::unique_ptr<HardwareLoop> Start(Scenario& scenario, CutterProtocol protocol,
                                             std::string* error, bool dryRun = false);

  SerialCutter& Cutter() { return *m_cutter; }
  FakePlotter& Plotter() { return *m_plotter; }

 private:
  HardwareLoop() = default;
  std::unique_ptr<FakePlotter> m_plotter;
  std::unique_ptr<SerialCutter> m_cutter;
  ICutterDriver* m_previous = nullptr;
};

// Has every write of cutter wait (real time, at most 10 s) until plotter has read and handled it,
// so that each move starts on the clock when it was sent, as on the simulated cutter.
void FollowPlotter(SerialCutter& cutter, FakePlotter& plotter);

// "hpgl" or "grbl" (any case); false for anything else.
bool ParseProtocol(const std::string& text, CutterProtocol* protocol);

}  // namespace kx
