// The person at the terminal who runs the registration on real devices: brings the camera over
// the first mark by typed moves, gives the copy counts, presses Start, answers the message boxes
// and stops with Ctrl+C.
// Threads: bound to the thread of the run dialog it drives; its Ctrl+C handler only sets a flag.
#pragma once

#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "app/ConsoleControls.h"
#include "platform/Operator.h"
#include "run/KestrixDialog.h"

namespace kx {

// What the command line already says about the run; what it leaves out is asked on the console
// (an empty answer keeps what the dialog shows).
struct ConsoleRunPlan {
  std::optional<int> columns;   // copies across
  std::optional<int> rows;      // copies along
  std::optional<double> stepX;  // thousands of cutter units, as typed into the dialog
  std::optional<double> stepY;
  bool roll = false;
};

// Drives the run dialog from a console. While the dialog waits for the camera to be placed
// (before the first Start, and after an OK to "Unable to locate image") it reads commands:
//   goto X Y     the head to (X, Y), cutter units, by clicks in the live view
//   move DX DY   the head by (DX, DY) from where it stands
//   start        Start (the first time after the counts and steps are filled in)
//   stop         Stop: ends the run, or closes the dialog before one
// End of input counts as stop. Message boxes are asked on the console (o/ok, c/cancel). The first
// Ctrl+C during a run presses Stop (a cut already handed to the cutter finishes, the knife ends
// up); a second one, or one while no run goes on, ends the program as the signal would (the
// serial cutter's own handler lifts the knife first). The steps it takes (typing, pressing) are
// the scripted operator's, so the dialog sees exactly what a user's clicks give.
class ConsoleOperator final : public IOperator {
 public:
  ConsoleOperator(CKestrixDialog* dialog, ConsoleRunPlan plan, std::istream& in, std::ostream& out);
  ConsoleOperator(const ConsoleOperator&) = delete;
  ConsoleOperator& operator=(const ConsoleOperator&) = delete;

  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override;
  // A person takes as long as they need: a modal wait is an idle turn like any other.
  bool OnBlocked() override { return OnIdle(); }

  // The message of a machine fault the run ended on (run/MachineFault.h), empty when none.
  const std::string& Fault() const { return m_fault; }
  // Whether Stop was asked for (the stop command, Ctrl+C or the end of the input).
  bool StopAsked() const { return m_stopAsked; }
  // Whether the steps the console asked for failed (a control missing): the dialog is then closed.
  bool Failed() const { return m_script.Failed(); }

 private:
  enum class Phase { Placing, Running, Closing };
  bool ReadCommand();
  void QueueStart();
  void PressStop();
  bool Steer();
  std::optional<std::string> Ask(const std::string& prompt);

  CKestrixDialog* m_dialog;
  ConsoleRunPlan m_plan;
  std::istream& m_in;
  std::ostream& m_out;
  TerminalOperator m_terminal;
  ScriptedOperator m_script;
  Phase m_phase = Phase::Placing;
  bool m_started = false;
  bool m_stopAsked = false;
  ConsoleInterrupt m_interrupt;
  std::string m_fault;
  ClickSteering m_steering;  // a typed head move under way
  std::int64_t m_lastClick = -1;
};

}  // namespace kx
