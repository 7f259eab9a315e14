// The operator behind a browser: message boxes wait for the answer a person gives in the page.
// Threads: thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Operator.h"

namespace kx {

// A message box waiting for its answer.
struct OpenBox {
  std::uint64_t id = 0;
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;  // "OK", "Cancel", "Yes", "No" in the order shown
};

class BrowserOperator final : public IOperator {
 public:
  // changed is called (on the box's thread, without the operator's lock) whenever the set of open
  // boxes changes, so that the pages can be told.
  explicit BrowserOperator(std::function<void()> changed = nullptr);

  // Blocks the calling window thread until Answer gives one of the box's buttons or Shutdown
  // answers it Cancel (IDNO for a Yes/No box), as a modal box blocks its thread.
  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override { return false; }

  // The boxes waiting, oldest first.
  std::vector<OpenBox> Boxes() const;
  // Answers box id with button (IDOK, ...). False when there is no such box or it has no such
  // button.
  bool Answer(std::uint64_t id, int button);
  // Answers every box, now and from now on, with its Cancel (or No): the server is going.
  void Shutdown();

 private:
  struct Waiting {
    OpenBox box;
    UINT flags = 0;
    int answer = 0;  // 0 while open
  };
  std::function<void()> m_changed;
  mutable std::mutex m_mutex;
  std::condition_variable m_answered;
  std::map<std::uint64_t, Waiting> m_boxes;
  std::uint64_t m_nextId = 1;
  bool m_shutdown = false;
};

// The button names of a box with these flags, in the order shown.
std::vector<std::string> ButtonsOf(UINT flags);

}  // namespace kx
