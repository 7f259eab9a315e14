// One message queue per user-interface thread; posting, sending, peeking, getting, dispatching.
// Threads: posting and sending are thread-safe; peeking, getting and dispatching are bound to the
// queue's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/WinDefs.h"

namespace kx {

class MessageQueue {
 public:
  void Post(const MSG& msg);
  // Asks the loop to end; a WM_QUIT comes out once no other message is left.
  void PostQuit(int exitCode);
  // Takes (or with remove false, copies) the first message for filter or one of its descendants
  // (any message when filter is null, then WM_QUIT too) whose number lies in [min, max]
  // (0, 0 = all). False when there is none.
  bool Take(MSG* msg, HWND filter, UINT min, UINT max, bool remove);
  // Blocks until something is posted or the time has passed.
  void WaitForPost(std::chrono::microseconds timeout);
  // Blocks until something is posted.
  void WaitForPost();

 private:
  std::mutex m_mutex;
  std::condition_variable m_posted;
  std::deque<MSG> m_messages;
  bool m_quit = false;
  int m_exitCode = 0;
  std::uint64_t m_postCount = 0;
};

// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
// Makes queue the calling thread's queue (a thread started by the framework gets it ready-made so
// that messages can be posted to it before it runs).
void AdoptQueue(std::shared_ptr<MessageQueue> queue);

// For loops that wait for a flag another handler or the operator will set: lets the operator act
// and otherwise waits briefly for a message, so that the loop never spins a core. Dispatches
// nothing itself.
void WaitIdle();

}  // namespace kx

// Non-waiting: removes (PM_REMOVE) or copies the first message for hwnd or its descendants (all
// messages with hwnd null). When none is there, the installed operator may act once and the
// queue is looked at again.
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT min, UINT max, UINT removeFlags);
// Waits for a message; returns 0 for WM_QUIT, nonzero otherwise. While waiting the operator may
// act; with an operator installed the wait is done in short slices so that it can.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT min, UINT max);
// Keys need no translation here; returns FALSE.
BOOL TranslateMessage(const MSG* msg);
// Hands the message to its window's WindowProc; 0 for thread messages and dead windows.
LRESULT DispatchMessage(const MSG* msg);
// Queues a message for hwnd's thread (the calling thread for null); FALSE for a dead window.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls hwnd's WindowProc at once, on the calling thread; 0 for a dead window.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
