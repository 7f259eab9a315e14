// The operator who answers message boxes and acts on windows: scripted, on a terminal, or none.
// Threads: thread-safe (the installed operator and the scripted one); the terminal operator is
// reentrant.
#pragma once

#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WinDefs.h"

namespace kx {

class IOperator {
 public:
  virtual ~IOperator() = default;
  // Answers a task-modal message box with one of its buttons (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                               UINT flags) = 0;
  // Called by a pump that found its queue empty; true when the operator did something.
  virtual bool OnIdle() = 0;
  // Called instead of OnIdle when a blocking wait (a modal loop) finds its queue empty.
  virtual bool OnBlocked() { return OnIdle(); }
};

// The installed operator, null when none: message boxes are then answered IDCANCEL and their
// texts go to the log. The caller keeps ownership.
void InstallOperator(IOperator* op);
IOperator* Operator();

class ScopedOperator {
 public:
  explicit ScopedOperator(IOperator* op);
  ~ScopedOperator();
  ScopedOperator(const ScopedOperator&) = delete;
  ScopedOperator& operator=(const ScopedOperator&) = delete;

 private:
  IOperator* m_previous;
};

// The window a script step acts on; by default the active dialog of the pumping thread.
using WindowFinder = std::function<HWND()>;

// One thing a scripted operator does when a pump is idle, once ready() holds.
struct ScriptStep {
  std::string description;
  std::function<bool()> ready;  // null: ready at once
  std::function<bool()> act;    // false: could not act (recorded as a failure)
  // The same step, taken only once predicate holds.
  ScriptStep When(std::function<bool()> predicate) &&;
};

// Answers expected message boxes in order and takes its steps, one per idle pump, in order.
// Anything unexpected is recorded as a failure, written to the log and answered IDCANCEL.
// Thread-safe.
class ScriptedOperator : public IOperator {
 public:
  // The next box must contain textSubstring; it is answered with answer.
  ScriptedOperator& ExpectBox(std::string textSubstring, int answer);
  ScriptedOperator& Then(ScriptStep step);

  // Steps. Control ids are looked up in the active dialog (or the finder's window) at the time.
  static ScriptStep PressButton(int id);
  static ScriptStep PressButton(WindowFinder window, int id);
  static ScriptStep SetText(int id, std::string text);
  static ScriptStep Click(int controlId, POINT inControl, UINT keyFlags = 0);
  static ScriptStep CheckRadio(int id);
  static ScriptStep SelectEntry(int id, int index);
  static ScriptStep MoveSlider(int id, int pos);
  static ScriptStep PressKey(UINT virtualKey);
  static ScriptStep Call(std::function<void()> callback);

  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override;
  // When a modal loop has waited this many times in a row with nothing to do (no step left or
  // the next never ready), the script has failed: recorded, and the active dialog is closed
  // (WM_CLOSE) so that the run ends instead of hanging.
  bool OnBlocked() override;
  void SetPatience(int blockedPolls);

  bool Failed() const;
  // Every failure, one a line.
  std::string FailureText() const;
  std::size_t PendingBoxes() const;
  std::size_t PendingSteps() const;

 private:
  void Fail(const std::string& what);

  struct Box {
    std::string text;
    int answer;
  };
  mutable std::mutex m_mutex;
  std::deque<Box> m_boxes;
  std::deque<std::pair<std::uint64_t, ScriptStep>> m_steps;
  std::uint64_t m_nextStep = 0;
  std::vector<std::string> m_failures;
  int m_blocked = 0;
  int m_patience = 400;
};

// Asks a person: prints the box on out and reads the answer from in (o/ok, c/cancel, y/yes, n/no).
// End of input answers IDCANCEL. Does nothing when idle.
class TerminalOperator : public IOperator {
 public:
  explicit TerminalOperator(std::istream& in = std::cin, std::ostream& out = std::cout);
  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override { return false; }

 private:
  std::istream& m_in;
  std::ostream& m_out;
};

// Whether answer is one of the buttons of a box with these flags.
bool IsButtonOf(int answer, UINT flags);

}  // namespace kx

// Task-modal message box; the installed operator answers it. Returns the button pressed.
int MessageBox(HWND owner, const char* text, const char* caption, UINT flags);
