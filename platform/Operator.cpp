// The operator who answers message boxes and acts on windows: scripted, on a terminal, or none.
#include "platform/Operator.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>

#include "common/Log.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/Wnd.h"

namespace kx {

namespace {

std::atomic<IOperator*> g_operator{nullptr};

HWND ActiveDialogHandle() {
  CWnd* dialog = ActiveDialog();
  return dialog ? dialog->m_hWnd : nullptr;
}

ScriptStep Step(std::string description, std::function<bool(HWND)> act) {
  return ScriptStep{std::move(description), nullptr,
                    [act = std::move(act)] { return act(ActiveDialogHandle()); }};
}

std::string BoxText(const std::string& caption, const std::string& text) {
  return "\"" + caption + "\": \"" + text + "\"";
}

}  // namespace

void InstallOperator(IOperator* op) { g_operator.store(op, std::memory_order_release); }
IOperator* Operator() { return g_operator.load(std::memory_order_acquire); }

ScopedOperator::ScopedOperator(IOperator* op) : m_previous(Operator()) { InstallOperator(op); }
ScopedOperator::~ScopedOperator() { InstallOperator(m_previous); }

bool IsButtonOf(int answer, UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OK:
      return answer == IDOK;
    case MB_OKCANCEL:
      return answer == IDOK || answer == IDCANCEL;
    case MB_YESNO:
      return answer == IDYES || answer == IDNO;
    case MB_YESNOCANCEL:
      return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    default:
      return false;
  }
}

ScriptStep ScriptStep::When(std::function<bool()> predicate) && {
  ready = std::move(predicate);
  return std::move(*this);
}

ScriptedOperator& ScriptedOperator::ExpectBox(std::string textSubstring, int answer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_boxes.push_back(Box{std::move(textSubstring), answer});
  return *this;
}

ScriptedOperator& ScriptedOperator::Then(ScriptStep step) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_steps.emplace_back(m_nextStep++, std::move(step));
  return *this;
}

ScriptStep ScriptedOperator::PressButton(int id) {
  return Step("press " + std::to_string(id), [id](HWND root) { return kx::PressButton(root, id); });
}

ScriptStep ScriptedOperator::PressButton(WindowFinder window, int id) {
  return ScriptStep{"press " + std::to_string(id), nullptr,
                    [window = std::move(window), id] { return kx::PressButton(window(), id); }};
}

ScriptStep ScriptedOperator::SetText(int id, std::string text) {
  return Step("type \"" + text + "\" into " + std::to_string(id),
              [id, text](HWND root) { return SetControlText(root, id, text); });
}

ScriptStep ScriptedOperator::Click(int controlId, POINT inControl, UINT keyFlags) {
  return Step("click " + std::to_string(controlId),
              [=](HWND root) { return ClickControl(root, controlId, inControl, keyFlags); });
}

ScriptStep ScriptedOperator::CheckRadio(int id) {
  return Step("check " + std::to_string(id), [id](HWND root) { return kx::PressButton(root, id); });
}

ScriptStep ScriptedOperator::SelectEntry(int id, int index) {
  return Step("select entry " + std::to_string(index) + " of " + std::to_string(id),
              [=](HWND root) { return SelectListEntry(root, id, index); });
}

ScriptStep ScriptedOperator::MoveSlider(int id, int pos) {
  return Step("move slider " + std::to_string(id),
              [=](HWND root) { return kx::MoveSlider(root, id, pos); });
}

ScriptStep ScriptedOperator::PressKey(UINT virtualKey) {
  return Step("key " + std::to_string(virtualKey),
              [=](HWND root) { return kx::PressKey(root, virtualKey); });
}

ScriptStep ScriptedOperator::Call(std::function<void()> callback) {
  return ScriptStep{"call", nullptr, [callback = std::move(callback)] {
                      callback();
                      return true;
                    }};
}

void ScriptedOperator::Fail(const std::string& what) {
  Log(LogLevel::Error, LogCategory::Operator, "scripted operator: " + what);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_failures.push_back(what);
}

int ScriptedOperator::AnswerMessageBox(HWND, const std::string& text, const std::string& caption,
                                       UINT flags) {
  std::optional<Box> box;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_boxes.empty() && text.find(m_boxes.front().text) != std::string::npos) {
      box = m_boxes.front();
      m_boxes.pop_front();
    }
  }
  if (!box) {
    Fail("unexpected message box " + BoxText(caption, text));
    return IDCANCEL;
  }
  if (!IsButtonOf(box->answer, flags)) {
    Fail("answer " + std::to_string(box->answer) + " is not a button of message box " +
         BoxText(caption, text));
    return IDCANCEL;
  }
  return box->answer;
}

bool ScriptedOperator::OnIdle() {
  std::uint64_t seq = 0;
  ScriptStep step;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_steps.empty()) return false;
    seq = m_steps.front().first;
    step = m_steps.front().second;
  }
  if (step.ready && !step.ready()) return false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_steps.empty() || m_steps.front().first != seq) return false;  // another thread took it
    m_steps.pop_front();
  }
  if (!step.act()) Fail("could not " + step.description);
  return true;
}

bool ScriptedOperator::OnBlocked() {
  if (OnIdle()) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocked = 0;
    return true;
  }
  std::string stuck;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (++m_blocked < m_patience) return false;
    m_blocked = 0;
    stuck = m_steps.empty()
                ? "the script has no step left while a window waits for input"
                : "step \"" + m_steps.front().second.description + "\" never became ready";
    m_steps.clear();
  }
  Fail(stuck);
  if (HWND dialog = ActiveDialogHandle()) PostMessage(dialog, WM_CLOSE, 0, 0);
  return true;
}

void ScriptedOperator::SetPatience(int blockedPolls) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_patience = std::max(1, blockedPolls);
}

bool ScriptedOperator::Failed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_failures.empty();
}

std::string ScriptedOperator::FailureText() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string text;
  for (const std::string& f : m_failures) text += f + "\n";
  return text;
}

std::size_t ScriptedOperator::PendingBoxes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_boxes.size();
}

std::size_t ScriptedOperator::PendingSteps() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_steps.size();
}

TerminalOperator::TerminalOperator(std::istream& in, std::ostream& out) : m_in(in), m_out(out) {}

int TerminalOperator::AnswerMessageBox(HWND, const std::string& text, const std::string& caption,
                                       UINT flags) {
  struct Choice {
    const char* key;
    const char* word;
    int answer;
  };
  static const Choice kChoices[] = {
      {"o", "ok", IDOK}, {"c", "cancel", IDCANCEL}, {"y", "yes", IDYES}, {"n", "no", IDNO}};
  std::string prompt;
  for (const Choice& c : kChoices) {
    if (IsButtonOf(c.answer, flags))
      prompt += std::string(prompt.empty() ? "" : ", ") + "(" + c.key + ")" + (c.word + 1);
  }
  m_out << "[" << caption << "] " << text << "\n";
  for (;;) {
    m_out << prompt << "? " << std::flush;
    std::string line;
    if (!std::getline(m_in, line)) return IDCANCEL;
    for (char& ch : line) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const Choice& c : kChoices) {
      if ((line == c.key || line == c.word) && IsButtonOf(c.answer, flags)) return c.answer;
    }
  }
}

}  // namespace kx

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  const std::string body = text ? text : "";
  const std::string title = caption ? caption : "";
  if (kx::IOperator* op = kx::Operator()) return op->AnswerMessageBox(owner, body, title, flags);
  kx::Log(kx::LogLevel::Warning, kx::LogCategory::Operator,
          "message box (no operator; answered Cancel) \"" + title + "\": \"" + body + "\"");
  return IDCANCEL;
}
