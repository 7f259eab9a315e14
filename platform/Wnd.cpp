// Windows: handle, parent, children by identifier, text, state, geometry, messages.
#include "platform/Wnd.h"

#include <algorithm>

#include "platform/Controls.h"
#include "platform/DataExchange.h"
#include "platform/MessageQueue.h"
#include "platform/WinThread.h"
#include "platform/WindowTable.h"

namespace kx {

namespace {

void RemoveTree(HWND hwnd, std::vector<std::unique_ptr<WindowRecord>>& removed) {
  WindowRecord* record = FindRecord(hwnd);
  if (!record) return;
  for (HWND child : std::vector<HWND>(record->children)) RemoveTree(child, removed);
  if (record->attached) record->attached->m_hWnd = nullptr;
  if (record->wrapper) record->wrapper->m_hWnd = nullptr;
  removed.push_back(TakeRecord(hwnd));
}

// Destroys hwnd and everything below it; the objects that named them are left without window.
bool DestroyTree(HWND hwnd) {
  std::vector<std::unique_ptr<WindowRecord>> removed;
  bool topLevel = false;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowMutex());
    WindowRecord* record = FindRecord(hwnd);
    if (!record) return false;
    topLevel = record->topLevel;
    if (WindowRecord* parent = record->topLevel ? nullptr : FindRecord(record->parent)) {
      std::erase(parent->children, hwnd);
    }
    RemoveTree(hwnd, removed);
  }
  std::erase(ThreadDialogs(), hwnd);
  // The end of a thread's main window ends the thread's loop.
  if (CWinThread* thread = CurrentThread(); topLevel && thread && thread->m_pMainWnd) {
    if (thread->m_pMainWnd->m_hWnd == nullptr &&
        std::any_of(removed.begin(), removed.end(),
                    [&](const auto& r) { return r->attached == thread->m_pMainWnd; })) {
      thread->m_pMainWnd = nullptr;
      PostQuitMessage(0);
    }
  }
  return true;
}

}  // namespace

CWnd* ActiveDialog() {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  const std::vector<HWND>& dialogs = ThreadDialogs();
  for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
    if (FindRecord(*it)) return CWnd::FromHandle(*it);
  }
  return nullptr;
}

CWnd* FindControl(HWND root, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  std::vector<HWND> level{root};
  while (!level.empty()) {
    std::vector<HWND> next;
    for (HWND hwnd : level) {
      const WindowRecord* record = FindRecord(hwnd);
      if (!record) continue;
      for (HWND child : record->children) {
        const WindowRecord* c = FindRecord(child);
        if (c && c->id == id) return CWnd::FromHandle(child);
        next.push_back(child);
      }
    }
    level = std::move(next);
  }
  return nullptr;
}

ControlKind KindOf(HWND hwnd) {
  return WithRecord(
      hwnd,
      [](WindowRecord& r) { return r.role == WindowRole::Control ? r.kind : ControlKind::Static; },
      ControlKind::Static);
}

bool IsTopMost(HWND hwnd) {
  return WithRecord(
      hwnd, [](WindowRecord& r) { return r.topMost; }, false);
}

}  // namespace kx

using kx::WindowRecord;
using kx::WithRecord;

BOOL IsWindow(HWND hwnd) {
  return WithRecord(
      hwnd, [](WindowRecord&) { return TRUE; }, FALSE);
}

BOOL IsChild(HWND parent, HWND child) {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  for (WindowRecord* r = kx::FindRecord(child); r && !r->topLevel; r = kx::FindRecord(r->parent)) {
    if (r->parent == parent) return TRUE;
  }
  return FALSE;
}

// ---- CWnd

const CWnd CWnd::wndTop;
const CWnd CWnd::wndBottom;
const CWnd CWnd::wndTopMost;
const CWnd CWnd::wndNoTopMost;

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
  if (!m_hWnd) return;
  bool owner = false;
  {
    std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
    WindowRecord* record = kx::FindRecord(m_hWnd);
    owner = record && record->attached == this;
  }
  if (owner) kx::DestroyTree(m_hWnd);
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  return WithRecord(
      hwnd, [](WindowRecord& r) { return r.attached ? r.attached : r.wrapper.get(); },
      static_cast<CWnd*>(nullptr));
}

BOOL CWnd::Attach(HWND hwnd) {
  return WithRecord(
      hwnd,
      [this](WindowRecord& r) {
        r.attached = this;
        m_hWnd = r.hwnd;
        return TRUE;
      },
      FALSE);
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  WithRecord(hwnd, [this](WindowRecord& r) {
    if (r.attached == this) r.attached = nullptr;
  });
  m_hWnd = nullptr;
  return hwnd;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  CWnd* child = parent ? parent->GetDlgItem(static_cast<int>(id)) : nullptr;
  return child ? Attach(child->m_hWnd) : FALSE;
}

CWnd* CWnd::GetDlgItem(int id) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* record = kx::FindRecord(m_hWnd);
  if (!record) return nullptr;
  for (HWND child : record->children) {
    WindowRecord* c = kx::FindRecord(child);
    if (c && c->id == id) return FromHandle(child);
  }
  return nullptr;
}

int CWnd::GetDlgCtrlID() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.id; }, 0);
}

CWnd* CWnd::GetParent() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return FromHandle(r.parent); }, static_cast<CWnd*>(nullptr));
}

CWnd* CWnd::GetWindow(UINT relation) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* record = kx::FindRecord(m_hWnd);
  if (!record) return nullptr;
  if (relation == GW_CHILD) {
    return record->children.empty() ? nullptr : FromHandle(record->children.front());
  }
  if (relation == GW_HWNDNEXT && !record->topLevel) {
    WindowRecord* parent = kx::FindRecord(record->parent);
    if (!parent) return nullptr;
    auto it = std::find(parent->children.begin(), parent->children.end(), m_hWnd);
    if (it != parent->children.end() && ++it != parent->children.end()) return FromHandle(*it);
  }
  return nullptr;
}

namespace {
// Sets a window's flag; whether it was set before.
BOOL SwapFlag(HWND hwnd, bool WindowRecord::*flag, bool value) {
  return WithRecord(
      hwnd,
      [flag, value](WindowRecord& r) {
        const BOOL before = r.*flag ? TRUE : FALSE;
        r.*flag = value;
        return before;
      },
      FALSE);
}
}  // namespace

BOOL CWnd::EnableWindow(BOOL enable) {
  return SwapFlag(m_hWnd, &WindowRecord::enabled, enable != FALSE) ? FALSE : TRUE;
}

BOOL CWnd::IsWindowEnabled() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.enabled ? TRUE : FALSE; }, FALSE);
}

BOOL CWnd::ShowWindow(int command) {
  return SwapFlag(m_hWnd, &WindowRecord::visible, command != SW_HIDE);
}

BOOL CWnd::IsWindowVisible() const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  for (WindowRecord* r = kx::FindRecord(m_hWnd); r; r = kx::FindRecord(r->parent)) {
    if (!r->visible) return FALSE;
    if (r->topLevel) return TRUE;
  }
  return FALSE;
}

void CWnd::SetWindowText(const CString& text) {
  WithRecord(m_hWnd, [&text](WindowRecord& r) { r.text = text; });
}

void CWnd::GetWindowText(CString& text) const { text = GetWindowText(); }

CString CWnd::GetWindowText() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.text; }, CString());
}

int CWnd::GetWindowTextLength() const { return static_cast<int>(GetWindowText().size()); }

void CWnd::GetWindowRect(RECT* rect) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r || !rect) return;
  const POINT origin = kx::ClientOrigin(*r);
  const LONG w = r->rect.right - r->rect.left;
  const LONG h = r->rect.bottom - r->rect.top;
  rect->left = origin.x - r->insets.left;
  rect->top = origin.y - r->insets.top;
  rect->right = rect->left + w;
  rect->bottom = rect->top + h;
}

void CWnd::GetClientRect(RECT* rect) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r || !rect) return;
  *rect = RECT{0, 0, std::max(0, r->rect.right - r->rect.left - r->insets.left - r->insets.right),
               std::max(0, r->rect.bottom - r->rect.top - r->insets.top - r->insets.bottom)};
}

void CWnd::ClientToScreen(POINT* point) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r || !point) return;
  const POINT origin = kx::ClientOrigin(*r);
  point->x += origin.x;
  point->y += origin.y;
}

void CWnd::ClientToScreen(RECT* rect) const {
  if (!rect) return;
  POINT topLeft{rect->left, rect->top};
  POINT bottomRight{rect->right, rect->bottom};
  ClientToScreen(&topLeft);
  ClientToScreen(&bottomRight);
  *rect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void CWnd::ScreenToClient(POINT* point) const {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r || !point) return;
  const POINT origin = kx::ClientOrigin(*r);
  point->x -= origin.x;
  point->y -= origin.y;
}

void CWnd::ScreenToClient(RECT* rect) const {
  if (!rect) return;
  POINT topLeft{rect->left, rect->top};
  POINT bottomRight{rect->right, rect->bottom};
  ScreenToClient(&topLeft);
  ScreenToClient(&bottomRight);
  *rect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r) return FALSE;
  const LONG w = r->rect.right - r->rect.left;
  const LONG h = r->rect.bottom - r->rect.top;
  if (!(flags & SWP_NOMOVE)) r->rect = RECT{x, y, x + w, y + h};
  if (!(flags & SWP_NOSIZE)) {
    r->rect.right = r->rect.left + std::max(0, cx);
    r->rect.bottom = r->rect.top + std::max(0, cy);
    kx::ResetSurface(*r);
  }
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == &wndTopMost) {
      r->topMost = true;
    } else if (insertAfter == &wndNoTopMost) {
      r->topMost = false;
    } else if (WindowRecord* parent = r->topLevel ? nullptr : kx::FindRecord(r->parent)) {
      // Front of the siblings is drawn last.
      std::erase(parent->children, m_hWnd);
      if (insertAfter == &wndBottom) {
        parent->children.insert(parent->children.begin(), m_hWnd);
      } else {
        parent->children.push_back(m_hWnd);
      }
    }
  }
  if (flags & SWP_SHOWWINDOW) r->visible = true;
  if (flags & SWP_HIDEWINDOW) r->visible = false;
  return TRUE;
}

void CWnd::MoveWindow(int x, int y, int cx, int cy, BOOL) {
  SetWindowPos(nullptr, x, y, cx, cy, SWP_NOZORDER);
}

BOOL CWnd::DestroyWindow() { return m_hWnd && kx::DestroyTree(m_hWnd) ? TRUE : FALSE; }

CWnd* CWnd::SetActiveWindow() {
  CWnd* previous = kx::ActiveDialog();
  bool topLevel = WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.topLevel; }, false);
  if (topLevel) kx::AddActiveDialog(m_hWnd);
  return previous;
}

CWnd* CWnd::SetFocus() { return nullptr; }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_hWnd ? ::PostMessage(m_hWnd, message, wParam, lParam) : FALSE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const kx::DataExchangeFailure&) {
    return FALSE;
  }
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::CheckRadioButton(int first, int last, int check) {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* record = kx::FindRecord(m_hWnd);
  if (!record) return;
  for (HWND child : record->children) {
    WindowRecord* c = kx::FindRecord(child);
    if (c && c->id >= first && c->id <= last) c->check = c->id == check ? 1 : 0;
  }
}

UINT CWnd::IsDlgButtonChecked(int id) const {
  CWnd* item = GetDlgItem(id);
  return item ? static_cast<UINT>(kx::ControlView<CButton>(item->m_hWnd).GetCheck()) : 0;
}

void CWnd::CheckDlgButton(int id, UINT check) {
  if (CWnd* item = GetDlgItem(id)) {
    kx::ControlView<CButton>(item->m_hWnd).SetCheck(static_cast<int>(check));
  }
}

void CWnd::SetDlgItemText(int id, const CString& text) {
  if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
  CWnd* item = GetDlgItem(id);
  text = item ? item->GetWindowText() : CString();
  return static_cast<int>(text.size());
}

CString CWnd::GetDlgItemText(int id) const {
  CString text;
  GetDlgItemText(id, text);
  return text;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (message == WM_COMMAND && lParam != 0) {
    // Only an object someone attached to the control can want its own notifications.
    CWnd* control = WithRecord(
        reinterpret_cast<HWND>(lParam), [](WindowRecord& r) { return r.attached; },
        static_cast<CWnd*>(nullptr));
    if (control && control != this && control->OnChildNotify(message, wParam, lParam, &result))
      return result;
  }
  if (kx::DispatchToMap(this, message, wParam, lParam, &result)) return result;
  return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

void CWnd::OnLButtonDown(UINT, CPoint) {}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case STM_SETIMAGE:
      return wParam == IMAGE_BITMAP
                 ? reinterpret_cast<LRESULT>(kx::ControlView<CStatic>(m_hWnd).SetBitmap(
                       reinterpret_cast<HBITMAP>(lParam)))
                 : 0;
    case STM_GETIMAGE:
      return wParam == IMAGE_BITMAP
                 ? reinterpret_cast<LRESULT>(kx::ControlView<CStatic>(m_hWnd).GetBitmap())
                 : 0;
    case BM_GETCHECK:
      return kx::ControlView<CButton>(m_hWnd).GetCheck();
    case BM_SETCHECK:
      kx::ControlView<CButton>(m_hWnd).SetCheck(static_cast<int>(wParam));
      return 0;
    case TBM_GETPOS:
      return kx::ControlView<CSliderCtrl>(m_hWnd).GetPos();
    case TBM_SETPOS:
      kx::ControlView<CSliderCtrl>(m_hWnd).SetPos(static_cast<int>(lParam));
      return 0;
    case CB_GETCURSEL:
      return kx::ControlView<CComboBox>(m_hWnd).GetCurSel();
    case CB_SETCURSEL:
      return kx::ControlView<CComboBox>(m_hWnd).SetCurSel(static_cast<int>(wParam));
    case WM_SETTEXT:
      SetWindowText(lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_GETTEXT: {
      const CString text = GetWindowText();
      auto* buffer = reinterpret_cast<char*>(lParam);
      if (!buffer || wParam == 0) return 0;
      const std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
      std::copy_n(text.data(), n, buffer);
      buffer[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    default:
      return 0;
  }
}
