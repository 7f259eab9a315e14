// User-interface threads: a thread of its own with a message queue, a loop and a main window.
#include "platform/WinThread.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MessageQueue.h"

namespace {

struct ThreadRecord {
  std::shared_ptr<kx::MessageQueue> queue;
  bool done = false;
  int exitCode = 0;
};

// Never destroyed: a detached thread may still be signalling while the program exits.
std::mutex& g_threadsMutex = *new std::mutex;
std::condition_variable& g_threadEnded = *new std::condition_variable;
std::map<DWORD, ThreadRecord>& g_threads = *new std::map<DWORD, ThreadRecord>;
DWORD g_nextThreadId = 1;
thread_local CWinThread* t_current = nullptr;

}  // namespace

BEGIN_MESSAGE_MAP(CWinThread, CCmdTarget)
END_MESSAGE_MAP()

BOOL CWinThread::CreateThread(DWORD, UINT) {
  auto queue = std::make_shared<kx::MessageQueue>();
  DWORD id = 0;
  {
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    id = g_nextThreadId++;
    g_threads[id] = ThreadRecord{queue, false, 0};
  }
  m_nThreadID = id;
  std::thread([this, queue, id] {
    kx::AdoptQueue(queue);
    t_current = this;
    const int code = InitInstance() ? Run() : ExitInstance();
    t_current = nullptr;
    if (m_bAutoDelete) delete this;
    {
      std::lock_guard<std::mutex> lock(g_threadsMutex);
      g_threads[id].done = true;
      g_threads[id].exitCode = code;
      g_threads[id].queue.reset();
      g_threadEnded.notify_all();
    }
  }).detach();
  return TRUE;
}

int CWinThread::Run() {
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) {
    if (!msg.hwnd) {
      LRESULT result = 0;
      kx::DispatchToMap(this, msg.message, msg.wParam, msg.lParam, &result);
      continue;
    }
    if (PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return ExitInstance();
}

BOOL CWinThread::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostThreadMessage(m_nThreadID, message, wParam, lParam);
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<kx::MessageQueue> queue;
  {
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    auto it = g_threads.find(threadId);
    if (it == g_threads.end() || !it->second.queue) return FALSE;
    queue = it->second.queue;
  }
  if (message == WM_QUIT) {
    queue->PostQuit(static_cast<int>(wParam));
  } else {
    queue->Post(MSG{nullptr, message, wParam, lParam});
  }
  return TRUE;
}

namespace kx {

bool ThreadEnded(DWORD threadId) {
  std::lock_guard<std::mutex> lock(g_threadsMutex);
  auto it = g_threads.find(threadId);
  return it == g_threads.end() || it->second.done;
}

int WaitForThread(DWORD threadId) {
  std::unique_lock<std::mutex> lock(g_threadsMutex);
  if (!g_threads.contains(threadId)) return -1;
  g_threadEnded.wait(lock, [&] { return g_threads[threadId].done; });
  return g_threads[threadId].exitCode;
}

CWinThread* CurrentThread() { return t_current; }

}  // namespace kx
