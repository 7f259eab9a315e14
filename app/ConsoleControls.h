// What every console operator shares: a typed line at a prompt, Ctrl+C, and the head moves typed
// as "goto X Y" or "move DX DY" and carried out by clicks in a window's live view.
// Threads: bound to the thread of the window the operator drives; the Ctrl+C handler only sets a
// flag.
#pragma once

#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include <opencv2/core/types.hpp>

#include "platform/Wnd.h"

namespace kx {

// Prints prompt and reads one line; nullopt (after a new line) at the end of input.
std::optional<std::string> AskLine(std::istream& in, std::ostream& out, const std::string& prompt);

// A number as the console shows it ("%g").
std::string ConsoleNumber(double v);

// The head where the installed cutter driver reports it, cutter units.
cv::Point2d DriverHead();

// Ctrl+C for a console operator's lifetime. While stoppable, the first one is only noted and says
// stoppingText on stderr (Take() then returns true once); a second one, or one while not
// stoppable, ends the program as the signal would (the serial cutter's own handler lifts the
// knife first). One at a time per process.
class ConsoleInterrupt {
 public:
  explicit ConsoleInterrupt(const char* stoppingText);
  ~ConsoleInterrupt();
  ConsoleInterrupt(const ConsoleInterrupt&) = delete;
  ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;

  void SetStoppable(bool stoppable);
  // True once, at the first call after a noted Ctrl+C.
  bool Take();

 private:
  bool m_taken = false;
};

// A typed head move carried out by clicks in a live view, one click a turn, until the head is
// within 20 units of the target (never below 0), a click brought it no closer, or 200 clicks
// have been made.
class ClickSteering {
 public:
  // Reads the rest of a "goto X Y" or "move DX DY" line from words; false, saying why on out,
  // when it is not two numbers. head is where a move starts from.
  bool Aim(const std::string& command, std::istringstream& words, cv::Point2d head,
           std::ostream& out);
  bool Active() const { return m_target.has_value(); }
  void Cancel() { m_target.reset(); }
  // One click in the live view liveId of dialog towards the target, the head standing at head
  // and a frame pixel being scale units; false (and the move over) once there, out of clicks,
  // or when the dialog has no live view (said on out).
  bool Step(const CWnd& dialog, int liveId, cv::Point2d head, double scale, std::ostream& out);

 private:
  std::optional<cv::Point2d> m_target;
  int m_clicksLeft = 0;
  double m_lastDistance = -1;  // before the last click, cutter units (largest axis)
};

}  // namespace kx
