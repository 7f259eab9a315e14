// User-interface threads: a thread of its own with a message queue, a loop and a main window.
// Threads: a thread object is bound to its own thread once started; posting to it is thread-safe.
#pragma once

#include "platform/MessageMap.h"
#include "platform/Wnd.h"

class CWinThread : public CCmdTarget {
 public:
  CWinThread() = default;
  ~CWinThread() override = default;

  CWnd* m_pMainWnd = nullptr;  // destroying it ends the thread's loop
  CWnd* m_pActiveWnd = nullptr;
  BOOL m_bAutoDelete = TRUE;  // the object deletes itself when the thread ends
  DWORD m_nThreadID = 0;      // set by CreateThread

  // Starts the thread: InitInstance, then Run when it returned TRUE, otherwise ExitInstance.
  // The thread's queue exists before this returns, so messages can be posted at once.
  BOOL CreateThread(DWORD flags = 0, UINT stackSize = 0);
  // Runs on the new thread; FALSE ends the thread at once.
  virtual BOOL InitInstance() { return FALSE; }
  // Runs on the new thread when it ends; the result becomes the thread's exit code.
  virtual int ExitInstance() { return 0; }
  // The message loop: until WM_QUIT, then ExitInstance.
  virtual int Run();
  // TRUE when the message was handled and must not be dispatched.
  virtual BOOL PreTranslateMessage(MSG* msg);
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()
};

// Posts a thread message (hwnd null) to a thread started by CreateThread; FALSE when it has ended.
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

namespace kx {

// Blocks until the thread has ended (and deleted its object when it auto-deletes); returns its
// exit code, -1 for an unknown id.
int WaitForThread(DWORD threadId);
// Whether a thread started by CreateThread has ended (true for an unknown id). Does not block.
bool ThreadEnded(DWORD threadId);
// The framework thread object running on the calling thread, or null.
CWinThread* CurrentThread();

}  // namespace kx
