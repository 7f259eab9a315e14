// The framework's own record of every window, shared by its parts; not for the windows' users.
// Threads: thread-safe under WindowMutex, as each function says.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/Gdi.h"
#include "platform/Resources.h"
#include "platform/WinDefs.h"
#include "platform/Wnd.h"

namespace kx {

class MessageQueue;

enum class WindowRole { Dialog, Control };

struct WindowRecord {
  HWND hwnd = nullptr;
  HWND parent = nullptr;  // owner of a top-level dialog, parent of a child
  bool topLevel = true;
  WindowRole role = WindowRole::Dialog;
  ControlKind kind = ControlKind::Static;
  int id = 0;
  UINT style = 0;
  std::string text;
  bool enabled = true;
  bool visible = false;
  bool topMost = false;
  RECT rect;    // window rectangle: screen for top-level, parent client coordinates otherwise
  RECT insets;  // frame widths around the client area (left, top = caption, right, bottom)
  std::vector<HWND> children;     // creation order, which is also drawing order
  CWnd* attached = nullptr;       // receives the messages
  std::unique_ptr<CWnd> wrapper;  // a plain object for controls nobody attached to
  std::shared_ptr<MessageQueue> queue;
  // Controls.
  int check = 0;
  int rangeMin = 0;
  int rangeMax = 100;
  int pos = 0;
  std::vector<std::pair<std::string, void*>> items;
  int curSel = -1;
  HBITMAP bitmap = nullptr;
  std::shared_ptr<Surface> surface;  // pictures only
  cv::Mat image;                     // bitmap buttons
  COLORREF mask = CLR_NONE;
  NMHDR notify;  // the header a posted notification of this control points at
};

// A temporary T naming hwnd, for using a control's members on a window whatever object receives
// its messages; it leaves the window alone when it goes.
template <typename T>
struct ControlView : T {
  explicit ControlView(HWND hwnd) { this->m_hWnd = hwnd; }
  ~ControlView() override { this->m_hWnd = nullptr; }
};

// Guards every record. Recursive: handlers called under it may look windows up again.
std::recursive_mutex& WindowMutex();
// The record of hwnd, or null. Call with WindowMutex held.
WindowRecord* FindRecord(HWND hwnd);
// Makes a record with a fresh handle, owned by the table. Call with WindowMutex held.
WindowRecord& NewRecord();
// Takes hwnd's record out of the table and hands it over; null when there is none. Call with
// WindowMutex held.
std::unique_ptr<WindowRecord> TakeRecord(HWND hwnd);
// Every window's record, oldest first. Call with WindowMutex held.
std::vector<const WindowRecord*> AllRecords();
// The caption's close box of a top-level dialog, in its picture's coordinates.
RECT CloseBox(const WindowRecord& record);
// Number of windows alive (for leak checks in tests).
int LiveWindowCount();

// Runs fn on hwnd's record with WindowMutex held; fallback when hwnd names no window.
template <typename Fn>
auto WithRecord(HWND hwnd, Fn fn, decltype(fn(std::declval<WindowRecord&>())) fallback) {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  WindowRecord* record = FindRecord(hwnd);
  return record ? fn(*record) : fallback;
}

// Runs fn on hwnd's record with WindowMutex held, when hwnd names a window.
template <typename Fn>
void WithRecord(HWND hwnd, Fn fn) {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  if (WindowRecord* record = FindRecord(hwnd)) fn(*record);
}

// Repaints a picture's surface with its background and bitmap after a size or bitmap change.
void ResetSurface(WindowRecord& record);
// Screen position of the client area's top-left corner. Call with WindowMutex held.
POINT ClientOrigin(const WindowRecord& record);
// The calling thread's top-level dialogs in activation order: the last one alive is active.
std::vector<HWND>& ThreadDialogs();
// Makes hwnd the calling thread's active dialog.
void AddActiveDialog(HWND hwnd);

}  // namespace kx
