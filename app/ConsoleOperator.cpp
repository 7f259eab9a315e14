// The person at the terminal who runs the registration on real devices.
#include "app/ConsoleOperator.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sstream>

#include "host/DriverSession.h"
#include "host/ResourceIds.h"
#include "host/Settings.h"
#include "platform/Clock.h"
#include "scenario/RunScript.h"

namespace kx {
namespace {

// A typed move counts as done within this many cutter units; a click lands only to the nearest
// few live-view pixels.
constexpr double kSteerTolerance = 20.0;
constexpr int kSteerClicks = 25;

std::atomic<int> g_interrupts{0};
std::atomic<bool> g_stoppable{false};
struct sigaction g_previous {};

extern "C" void OnInterrupt(int) {
  if (!g_stoppable.load() || g_interrupts.fetch_add(1) >= 1) {
    // Whoever was there before (the serial cutter's knife-up handler, or the default) ends the
    // program once this handler has returned.
    sigaction(SIGINT, &g_previous, nullptr);
    raise(SIGINT);
    return;
  }
  static const char kSaid[] =
      "\nStopping: a cut under way finishes, then the knife goes up (Ctrl+C again ends at "
      "once).\n";
  const ssize_t ignored = write(STDERR_FILENO, kSaid, sizeof kSaid - 1);
  static_cast<void>(ignored);
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

cv::Point2d Head() {
  char port[100] = {};
  GetStringDeviceNull("Port Setup", "Port", port, sizeof port);
  const HeadPoint p = ReadHeadPosition(ResolvePort(port));
  return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

}  // namespace

ConsoleOperator::ConsoleOperator(CKestrixDialog* dialog, ConsoleRunPlan plan, std::istream& in,
                                 std::ostream& out)
    : m_dialog(dialog), m_plan(plan), m_in(in), m_out(out), m_terminal(in, out) {
  g_interrupts = 0;
  g_stoppable = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previous);
}

ConsoleOperator::~ConsoleOperator() {
  g_stoppable = false;
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  if (current.sa_handler == OnInterrupt) sigaction(SIGINT, &g_previous, nullptr);
}

int ConsoleOperator::AnswerMessageBox(HWND owner, const std::string& text,
                                      const std::string& caption, UINT flags) {
  if (m_fault.empty() && IsMachineFault(text)) m_fault = text;
  return m_terminal.AnswerMessageBox(owner, text, caption, flags);
}

std::optional<std::string> ConsoleOperator::Ask(const std::string& prompt) {
  m_out << prompt << std::flush;
  std::string line;
  if (!std::getline(m_in, line)) {
    m_out << "\n";
    return std::nullopt;
  }
  return line;
}

bool ConsoleOperator::OnIdle() {
  g_stoppable = m_dialog->IsRunning();
  if (g_interrupts.load() > 0 && !m_interruptSeen) {
    m_interruptSeen = true;
    PressStop();
    return true;
  }
  if (m_steerTo) return Steer();
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
  const cv::Point2d head = Head();
  const std::optional<std::string> line =
      Ask("head at (" + Number(head.x) + ", " + Number(head.y) +
          "). Bring the camera over the first mark: goto X Y, move DX DY, start or stop? ");
  if (!line) {
    PressStop();
    return true;
  }
  std::istringstream words(*line);
  std::string command;
  words >> command;
  if (command == "goto" || command == "move") {
    double x = 0, y = 0;
    std::string extra;
    if (!(words >> x >> y) || (words >> extra)) {
      m_out << command << " takes two numbers (cutter units)\n";
      return false;
    }
    m_steerTo = command == "goto" ? cv::Point2d(x, y) : head + cv::Point2d(x, y);
    m_clicksLeft = kSteerClicks;
    return true;
  }
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
  const cv::Point2d aim(std::max(m_steerTo->x, 0.0), std::max(m_steerTo->y, 0.0));
  const cv::Point2d d = aim - Head();
  if ((std::fabs(d.x) <= kSteerTolerance && std::fabs(d.y) <= kSteerTolerance) ||
      m_clicksLeft <= 0) {
    m_steerTo.reset();
    return false;
  }
  --m_clicksLeft;
  m_lastClick = Clock().NowMicros();
  const double scale = GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr);
  if (!ClickTowards(*m_dialog, IDC_KX_LIVE, d, scale > 0 ? scale : 1.0)) {
    m_out << "the head cannot be moved: the dialog has no live view\n";
    m_steerTo.reset();
  }
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
    if (given) return Number(*given);
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
  m_steerTo.reset();
  // Before a run Stop closes the dialog; during one it ends the run, and the dialog is closed
  // once the run has ended.
  m_phase = m_dialog->IsRunning() ? Phase::Running : Phase::Closing;
  PostMessage(m_dialog->GetSafeHwnd(), WM_COMMAND, IDC_KX_STOP, 0);
}

}  // namespace kx
