// One message queue per user-interface thread; posting, sending, peeking, getting, dispatching.
#include "platform/MessageQueue.h"

#include "platform/Operator.h"
#include "platform/WindowTable.h"
#include "platform/Wnd.h"

namespace kx {

namespace {

thread_local std::shared_ptr<MessageQueue> t_queue;
thread_local bool t_inIdle = false;  // the operator's own actions must not re-enter it

// Lets the operator act once; false when it did nothing (or is already acting on this thread).
bool OperatorActs(bool blocked) {
  IOperator* op = Operator();
  if (!op || t_inIdle) return false;
  t_inIdle = true;
  const bool acted = blocked ? op->OnBlocked() : op->OnIdle();
  t_inIdle = false;
  return acted;
}

bool Matches(const MSG& msg, HWND filter, UINT min, UINT max) {
  if (min != 0 || max != 0) {
    if (msg.message < min || msg.message > max) return false;
  }
  return !filter || msg.hwnd == filter || IsChild(filter, msg.hwnd);
}

constexpr std::chrono::milliseconds kOperatorSlice{5};

}  // namespace

void MessageQueue::Post(const MSG& msg) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(msg);
    ++m_postCount;
  }
  m_posted.notify_all();
}

void MessageQueue::PostQuit(int exitCode) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
    m_exitCode = exitCode;
    ++m_postCount;
  }
  m_posted.notify_all();
}

bool MessageQueue::Take(MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
    if (!Matches(*it, filter, min, max)) continue;
    if (msg) *msg = *it;
    if (remove) m_messages.erase(it);
    return true;
  }
  if (m_quit && !filter && m_messages.empty()) {
    if (msg) *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(m_exitCode), 0};
    if (remove) m_quit = false;
    return true;
  }
  return false;
}

void MessageQueue::WaitForPost(std::chrono::microseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const std::uint64_t seen = m_postCount;
  m_posted.wait_for(lock, timeout, [&] { return m_postCount != seen; });
}

void MessageQueue::WaitForPost() {
  std::unique_lock<std::mutex> lock(m_mutex);
  const std::uint64_t seen = m_postCount;
  m_posted.wait(lock, [&] { return m_postCount != seen; });
}

std::shared_ptr<MessageQueue> CurrentQueue() {
  if (!t_queue) t_queue = std::make_shared<MessageQueue>();
  return t_queue;
}

void AdoptQueue(std::shared_ptr<MessageQueue> queue) { t_queue = std::move(queue); }

void WaitIdle() {
  if (OperatorActs(false)) return;
  CurrentQueue()->WaitForPost(std::chrono::milliseconds(1));
}

}  // namespace kx

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT min, UINT max, UINT removeFlags) {
  auto queue = kx::CurrentQueue();
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  if (queue->Take(msg, hwnd, min, max, remove)) return TRUE;
  if (kx::OperatorActs(false) && queue->Take(msg, hwnd, min, max, remove)) return TRUE;
  return FALSE;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT min, UINT max) {
  auto queue = kx::CurrentQueue();
  MSG local;
  if (!msg) msg = &local;
  for (;;) {
    if (queue->Take(msg, hwnd, min, max, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (kx::OperatorActs(true)) continue;
    if (kx::Operator()) {
      queue->WaitForPost(kx::kOperatorSlice);
    } else {
      queue->WaitForPost();
    }
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  CWnd* wnd = CWnd::FromHandle(msg->hwnd);
  return wnd ? wnd->WindowProc(msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<kx::MessageQueue> queue;
  if (!hwnd) {
    queue = kx::CurrentQueue();
  } else {
    std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
    if (kx::WindowRecord* record = kx::FindRecord(hwnd)) queue = record->queue;
  }
  if (!queue) return FALSE;
  queue->Post(MSG{hwnd, message, wParam, lParam});
  return TRUE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  return wnd ? wnd->WindowProc(message, wParam, lParam) : 0;
}

void PostQuitMessage(int exitCode) { kx::CurrentQueue()->PostQuit(exitCode); }
