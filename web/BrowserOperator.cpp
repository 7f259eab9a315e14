// The operator behind a browser: message boxes wait for the answer a person gives in the page.
#include "web/BrowserOperator.h"

#include "common/Log.h"

namespace kx {

namespace {

// What a box answers when nobody can: its way out.
int WayOut(UINT flags) {
  return IsButtonOf(IDCANCEL, flags) ? IDCANCEL : IsButtonOf(IDNO, flags) ? IDNO : IDOK;
}

}  // namespace

std::vector<std::string> ButtonsOf(UINT flags) {
  std::vector<std::string> names;
  if (IsButtonOf(IDOK, flags)) names.push_back("OK");
  if (IsButtonOf(IDYES, flags)) names.push_back("Yes");
  if (IsButtonOf(IDNO, flags)) names.push_back("No");
  if (IsButtonOf(IDCANCEL, flags)) names.push_back("Cancel");
  return names;
}

BrowserOperator::BrowserOperator(std::function<void()> changed) : m_changed(std::move(changed)) {}

int BrowserOperator::AnswerMessageBox(HWND, const std::string& text, const std::string& caption,
                                      UINT flags) {
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_shutdown) return WayOut(flags);
    id = m_nextId++;
    Waiting& w = m_boxes[id];
    w.box = OpenBox{id, caption, text, ButtonsOf(flags)};
    w.flags = flags;
  }
  Log(LogLevel::Info, LogCategory::Operator, "message box \"" + caption + "\": \"" + text + "\"");
  if (m_changed) m_changed();
  int answer = 0;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_answered.wait(lock, [&] { return m_boxes[id].answer != 0; });
    answer = m_boxes[id].answer;
    m_boxes.erase(id);
  }
  if (m_changed) m_changed();
  return answer;
}

std::vector<OpenBox> BrowserOperator::Boxes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<OpenBox> boxes;
  for (const auto& [id, w] : m_boxes) {
    if (w.answer == 0) boxes.push_back(w.box);
  }
  return boxes;
}

bool BrowserOperator::Answer(std::uint64_t id, int button) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_boxes.find(id);
    if (it == m_boxes.end() || it->second.answer != 0 || !IsButtonOf(button, it->second.flags))
      return false;
    it->second.answer = button;
  }
  m_answered.notify_all();
  return true;
}

void BrowserOperator::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutdown = true;
    for (auto& [id, w] : m_boxes) {
      if (w.answer == 0) w.answer = WayOut(w.flags);
    }
  }
  m_answered.notify_all();
}

}  // namespace kx
