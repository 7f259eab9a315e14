// Windows: handle, parent, children by identifier, text, state, geometry, messages.
// Threads: member calls are thread-safe; messages are bound to the thread that created the window.
#pragma once

#include <string>

#include "platform/Gdi.h"
#include "platform/MessageMap.h"
#include "platform/MessageQueue.h"
#include "platform/Resources.h"
#include "platform/WinDefs.h"

class CDataExchange;

// GetWindow relations.
inline constexpr UINT GW_HWNDNEXT = 2;
inline constexpr UINT GW_CHILD = 5;

// A window of the framework. The object is a view on a window named by m_hWnd: several objects
// may name the same window, and the object that created it or that a dialog attached to it
// (DDX_Control) receives its messages. Window state lives with the window, so member calls work
// from any thread; messages are handled on the thread that created the window.
class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  // Destroys the window when this object is the one attached to it.
  ~CWnd() override;

  HWND m_hWnd = nullptr;

  // Insert-after markers for SetWindowPos.
  static const CWnd wndTop;
  static const CWnd wndBottom;
  static const CWnd wndTopMost;
  static const CWnd wndNoTopMost;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }
  // The object receiving hwnd's messages, or null when hwnd names no window.
  static CWnd* FromHandle(HWND hwnd);
  // Makes this object receive the messages of the child with this id; FALSE when there is none.
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  BOOL Attach(HWND hwnd);
  HWND Detach();

  // Children and relations. Null when there is no such window.
  CWnd* GetDlgItem(int id) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;
  CWnd* GetWindow(UINT relation) const;

  // State. EnableWindow returns nonzero when the window was disabled before; ShowWindow returns
  // nonzero when it was visible before.
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  void SetWindowText(const CString& text);
  void GetWindowText(CString& text) const;
  CString GetWindowText() const;
  int GetWindowTextLength() const;

  // Geometry. The window rectangle is in screen coordinates; the client rectangle starts at 0, 0.
  void GetWindowRect(RECT* rect) const;
  void GetClientRect(RECT* rect) const;
  void ClientToScreen(POINT* point) const;
  void ClientToScreen(RECT* rect) const;
  void ScreenToClient(POINT* point) const;
  void ScreenToClient(RECT* rect) const;
  // x, y in the parent's client coordinates (screen for top-level windows); cx, cy the window
  // size. insertAfter: &wndTopMost / &wndNoTopMost change topmost placement, null or &wndTop
  // bring it to the front of its siblings, unless SWP_NOZORDER.
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE);

  // Destroys the window and its children; the objects stay and their m_hWnd becomes null.
  virtual BOOL DestroyWindow();
  // Nothing to paint ahead of time: rendering always reads the current state.
  void UpdateWindow() {}
  void Invalidate(BOOL erase = TRUE) { (void)erase; }
  // Makes this the active dialog of its thread; returns the previously active one.
  CWnd* SetActiveWindow();
  CWnd* SetFocus();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // Runs DoDataExchange in the given direction; FALSE when a value did not pass (the members
  // exchanged before it keep their new values, the failing one and the rest are untouched).
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // Checks check and unchecks every other button with an id from first to last.
  void CheckRadioButton(int first, int last, int check);
  UINT IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, UINT check);
  void SetDlgItemText(int id, const CString& text);
  int GetDlgItemText(int id, CString& text) const;
  CString GetDlgItemText(int id) const;

  // Handles a message: a notification is first offered back to the control that sent it
  // (OnChildNotify), then the message map, then DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // A notification this control sent to its parent, offered to the control's own object first
  // (message reflection). Return TRUE to consume it; the parent's map then does not see it.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // The default handling of a left click: none.
  void OnLButtonDown(UINT nFlags, CPoint point);

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  // What a window does with a message its map does not bind: the controls' own messages.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()
};

namespace kx {

// The most recently created or activated top-level dialog of the calling thread, or null.
CWnd* ActiveDialog();
// The control with this id in root's window tree (breadth first: root's own children win), or null.
CWnd* FindControl(HWND root, int id);
// What kind of control hwnd is; Static for dialogs and unknown handles.
ControlKind KindOf(HWND hwnd);
bool IsTopMost(HWND hwnd);

}  // namespace kx

// Whether hwnd names a window; whether child lies below parent.
BOOL IsWindow(HWND hwnd);
BOOL IsChild(HWND parent, HWND child);
