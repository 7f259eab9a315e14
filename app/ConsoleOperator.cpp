// The person at the terminal who runs the registration on real devices.
#include "app/ConsoleOperator.h"

#include <sstream>

#include "host/ResourceIds.h"
#include "host/Settings.h"
#include "platform/Clock.h"
#include "scenario/RunScript.h"

namespace kx {
namespace {

const char kStopping[] =
    "\nStopping: a cut under way finishes, then the knife goes up (Ctrl+C again ends at once).\n";

}  // namespace

ConsoleOperator::ConsoleOperator(CKestrixDialog* dialog, ConsoleRunPlan plan, std::istream& in,
                                 std::ostream& out)
    : m_dialog(dialog),
      m_plan(plan),
      m_in(in),
      m_out(out),
      m_terminal(in, out),
      m_interrupt(kStopping) {}

int ConsoleOperator::AnswerMessageBox(HWND owner, const std::string& text,
                                      const std::string& caption, UINT flags) {
  if (m_fault.empty() && IsMachineFault(text)) m_fault = text;
  return m_terminal.AnswerMessageBox(owner, text, caption, flags);
}

std::optional<std::string> ConsoleOperator::Ask(const std::string& prompt) {
  return AskLine(m_in, m_out, prompt);
}

bool ConsoleOperator::OnIdle() {
  m_interrupt.SetStoppable(m_dialog->IsRunning());
  if (m_interrupt.Take()) {
    PressStop();
    return true;
  }
  if (m_steering.Active()) return Steer();
  if (m_script.PendingSteps() > 0) return m_script.OnIdle();
  switch (m_phase) {
    case Phase::Placing:
      return ReadCommand();
    case Phase::Running:
      if (!m_dialog->IsRunning()) {
        // The run has ended: the user closes the dialog.
        m_phase = Phase::Closing;
        m_script.Then(ScriptedOperator::PressButton(IDC_KX_STOP));
        return true;
      }
      if (m_dialog->IsWaitingForPlacement() && !m_dialog->IsMoving()) return ReadCommand();
      return false;
    case Phase::Closing:
      return false;
  }
  return false;
}

bool ConsoleOperator::ReadCommand() {
  const cv::Point2d head = DriverHead();
  const std::optional<std::string> line =
      Ask("head at (" + ConsoleNumber(head.x) + ", " + ConsoleNumber(head.y) +
          "). Bring the camera over the first mark: goto X Y, move DX DY, start or stop? ");
  if (!line) {
    PressStop();
    return true;
  }
  std::istringstream words(*line);
  std::string command;
  words >> command;
  if (command == "goto" || command == "move") return m_steering.Aim(command, words, head, m_out);
  if (command == "start") {
    QueueStart();
    return true;
  }
  if (command == "stop") {
    PressStop();
    return true;
  }
  if (!command.empty()) m_out << "unknown command '" << command << "'\n";
  return false;
}

bool ConsoleOperator::Steer() {
  // One click at a time, each once the one before has been handled and its move has ended
  // (the handler's move lets the clock run, so an unchanged clock means it has not come yet).
  if (m_dialog->IsMoving() || Clock().NowMicros() == m_lastClick) return false;
  const double scale = GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr);
  if (!m_steering.Step(*m_dialog, IDC_KX_LIVE, DriverHead(), scale, m_out)) return false;
  m_lastClick = Clock().NowMicros();
  return true;
}

void ConsoleOperator::QueueStart() {
  if (m_started) {
    // A placement by hand after a search that found nothing: Start goes on from there.
    m_script.Then(ScriptedOperator::PressButton(IDC_KX_START));
    return;
  }
  m_started = true;
  const auto value = [this](const auto& given, const char* prompt) -> std::optional<std::string> {
    if (given) return ConsoleNumber(*given);
    std::optional<std::string> typed = Ask(prompt);
    if (!typed || typed->empty()) return std::nullopt;
    return typed;
  };
  // Sheet first: both counts are editable then.
  m_script.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
  const struct {
    int id;
    std::optional<std::string> text;
  } fields[] = {
      {IDC_KX_COPIES_X, value(m_plan.columns, "copies across (Enter keeps the dialog's)? ")},
      {IDC_KX_COPIES_Y, value(m_plan.rows, "copies along (Enter keeps the dialog's)? ")},
      {IDC_KX_STEP_X, value(m_plan.stepX, "step across, thousands of units (Enter keeps)? ")},
      {IDC_KX_STEP_Y, value(m_plan.stepY, "step along, thousands of units (Enter keeps)? ")},
  };
  for (const auto& f : fields)
    if (f.text) m_script.Then(ScriptedOperator::SetText(f.id, *f.text));
  if (m_plan.roll) m_script.Then(ScriptedOperator::CheckRadio(IDC_KX_ROLL));
  m_script.Then(ScriptedOperator::PressButton(IDC_KX_START));
  m_phase = Phase::Running;
}

void ConsoleOperator::PressStop() {
  m_stopAsked = true;
  m_steering.Cancel();
  // Before a run Stop closes the dialog; during one it ends the run, and the dialog is closed
  // once the run has ended.
  m_phase = m_dialog->IsRunning() ? Phase::Running : Phase::Closing;
  PostMessage(m_dialog->GetSafeHwnd(), WM_COMMAND, IDC_KX_STOP, 0);
}

}  // namespace kx
