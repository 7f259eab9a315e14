// Dialogs from templates: modal and modeless, property pages and a minimal property sheet.
#include "platform/Dialog.h"

#include <algorithm>
#include <string>

#include "common/Log.h"
#include "platform/Controls.h"
#include "platform/MessageQueue.h"
#include "platform/WindowTable.h"

namespace {

// Frame around a top-level dialog's client area: borders and the caption bar.
constexpr RECT kFrame{4, 28, 4, 4};
int g_cascade = 0;

void Report(const std::string& message) {
  kx::Log(kx::LogLevel::Error, kx::LogCategory::Window, message);
}

std::unique_ptr<CWnd> MakeWrapper(kx::ControlKind kind) {
  using kx::ControlKind;
  switch (kind) {
    case ControlKind::Static:
    case ControlKind::Picture:
      return std::make_unique<CStatic>();
    case ControlKind::Button:
    case ControlKind::Radio:
    case ControlKind::Check:
      return std::make_unique<CButton>();
    case ControlKind::BitmapButton:
      return std::make_unique<CBitmapButton>();
    case ControlKind::Edit:
      return std::make_unique<CEdit>();
    case ControlKind::Slider:
      return std::make_unique<CSliderCtrl>();
    case ControlKind::ComboBox:
      return std::make_unique<CComboBox>();
    default:
      return std::make_unique<CWnd>();
  }
}

const kx::DialogTemplate* LookUp(UINT id) {
  kx::IResources* resources = kx::Resources();
  const kx::DialogTemplate* tmpl = resources ? resources->FindDialogTemplate(id) : nullptr;
  if (!tmpl) Report("dialog template " + std::to_string(id) + " is not among the resources");
  return tmpl;
}

}  // namespace

// ---- CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}

CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
}

BOOL CDialog::CreateIndirect(const kx::DialogTemplate& tmpl, CWnd* parent, bool child,
                             POINT origin) {
  if (m_hWnd) {
    Report("dialog \"" + tmpl.caption + "\" is already created");
    return FALSE;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
    kx::WindowRecord* parentRecord = parent ? kx::FindRecord(parent->m_hWnd) : nullptr;
    if (child && !parentRecord) {
      Report("dialog \"" + tmpl.caption + "\" needs a parent window");
      return FALSE;
    }
    kx::WindowRecord& d = kx::NewRecord();
    d.role = kx::WindowRole::Dialog;
    d.topLevel = !child;
    d.parent = parentRecord ? parentRecord->hwnd : nullptr;
    d.text = tmpl.caption;
    d.queue = kx::CurrentQueue();
    d.visible = child || tmpl.visible;
    if (child) {
      d.rect = RECT{origin.x, origin.y, origin.x + tmpl.width, origin.y + tmpl.height};
      parentRecord->children.push_back(d.hwnd);
    } else {
      POINT at{40 + 24 * (g_cascade % 8), 40 + 24 * (g_cascade % 8)};
      ++g_cascade;
      if (parentRecord) {
        at = kx::ClientOrigin(*parentRecord);
        at.x += 24;
        at.y += 24;
      }
      d.insets = kFrame;
      d.rect = RECT{at.x, at.y, at.x + tmpl.width + kFrame.left + kFrame.right,
                    at.y + tmpl.height + kFrame.top + kFrame.bottom};
    }
    d.attached = this;
    m_hWnd = d.hwnd;
    for (const kx::ControlTemplate& ct : tmpl.controls) {
      kx::WindowRecord& c = kx::NewRecord();
      c.role = kx::WindowRole::Control;
      c.topLevel = false;
      c.parent = d.hwnd;
      c.kind = ct.kind;
      c.id = ct.id;
      c.style = ct.style;
      c.text = ct.caption;
      c.enabled = !(ct.style & kx::kDisabled);
      c.visible = !(ct.style & kx::kHidden);
      c.rect = ct.rect;
      c.queue = d.queue;
      c.wrapper = MakeWrapper(ct.kind);
      c.wrapper->m_hWnd = c.hwnd;
      c.notify = NMHDR{c.hwnd, static_cast<std::uintptr_t>(ct.id), 0};
      kx::ResetSurface(c);
      d.children.push_back(c.hwnd);
    }
  }
  if (!child) kx::AddActiveDialog(m_hWnd);
  OnInitDialog();
  return TRUE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParent) {
  m_nIDTemplate = nIDTemplate;
  m_pParentWnd = pParent;
  const kx::DialogTemplate* tmpl = LookUp(nIDTemplate);
  return tmpl ? CreateIndirect(*tmpl, pParent, false) : FALSE;
}

INT_PTR CDialog::DoModal() { return RunModal(LookUp(m_nIDTemplate)); }

INT_PTR CDialog::RunModal(const kx::DialogTemplate* tmpl) {
  if (!tmpl) return -1;
  m_bEndModal = false;
  m_nModalResult = -1;
  if (!CreateIndirect(*tmpl, m_pParentWnd, false)) return -1;
  const HWND hwnd = m_hWnd;
  CWnd* owner = m_pParentWnd && m_pParentWnd->m_hWnd ? m_pParentWnd : nullptr;
  const BOOL ownerWasDisabled = owner ? owner->EnableWindow(FALSE) : FALSE;
  if (!m_bEndModal) {
    ShowWindow(SW_SHOW);
    SetActiveWindow();
  }
  while (!m_bEndModal && IsWindow(hwnd)) {
    MSG msg;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      // The thread is asked to end: leave the request for the loop outside.
      PostQuitMessage(static_cast<int>(msg.wParam));
      m_nModalResult = -1;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  if (owner && !ownerWasDisabled) owner->EnableWindow(TRUE);
  DestroyWindow();
  m_bEndModal = false;
  return m_nModalResult;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::EndDialog(int nResult) {
  if (m_nBusy > 0) {
    RequestClose(0, nResult);
    return;
  }
  m_nModalResult = nResult;
  m_bEndModal = true;
  ShowWindow(SW_HIDE);
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    const int command = wParam == VK_RETURN ? IDOK : IDCANCEL;
    return WindowProc(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(command), BN_CLICKED), 0);
  }
  if (message == WM_CLOSE) {
    return WindowProc(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(IDCANCEL), BN_CLICKED), 0);
  }
  return CWnd::DefWindowProc(message, wParam, lParam);
}

// ---- Busy dialogs

namespace {
// The pending close came from EndDialog: end with the remembered result.
constexpr UINT kEndDialogRequest = 0xFFFF;
}  // namespace

CDialog::CBusyScope::CBusyScope(CDialog& dialog) : m_dialog(dialog) { m_dialog.BeginBusy(&dialog); }

CDialog::CBusyScope::~CBusyScope() { m_dialog.EndBusy(); }

void CDialog::BeginBusy(CDialog* operation) {
  if (m_nBusy++ == 0) {
    m_pBusyOperation = operation;
    m_nPendingClose = 0;
  }
  if (CDialog* container = BusyContainer()) container->BeginBusy(operation);
}

void CDialog::EndBusy() {
  if (CDialog* container = BusyContainer()) container->EndBusy();
  if (m_nBusy <= 0 || --m_nBusy > 0) return;
  m_pBusyOperation = nullptr;
  const UINT pending = m_nPendingClose;
  m_nPendingClose = 0;
  if (pending == kEndDialogRequest) {
    EndDialog(m_nPendingResult);
  } else if (pending != 0 && m_hWnd) {
    // Replayed through the queue so that OnOK or OnCancel run as for any other Enter or Escape,
    // outside the handler that was busy.
    ::PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(pending, BN_CLICKED), 0);
  }
}

void CDialog::RequestClose(UINT command, int result) {
  if (m_nPendingClose == 0) {
    m_nPendingClose = command != 0 ? command : kEndDialogRequest;
    m_nPendingResult = result;
    kx::Log(kx::LogLevel::Info, kx::LogCategory::Window,
            "closing \"" + GetWindowText() + "\" once its operation has stopped");
  }
  if (m_pBusyOperation) m_pBusyOperation->OnStopRequest();
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_nBusy > 0 && message == WM_COMMAND) {
    const UINT id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) {
      RequestClose(id, static_cast<int>(id));
      return 0;
    }
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

// ---- CPropertyPage

CPropertyPage::CPropertyPage(UINT nIDTemplate) : CDialog(nIDTemplate, nullptr) {}

CDialog* CPropertyPage::BusyContainer() { return m_pSheet; }

BOOL CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) {
    m_bFirstSetActive = false;
  } else {
    UpdateData(FALSE);
  }
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

void CPropertyPage::SetModified(BOOL bChanged) {
  m_bModified = bChanged ? TRUE : FALSE;
  if (m_pSheet) m_pSheet->UpdateApplyButton();
}

CString CPropertyPage::GetTitle() const {
  if ((m_psp.dwFlags & PSP_USETITLE) && m_psp.pszTitle) return m_psp.pszTitle;
  kx::IResources* resources = kx::Resources();
  const kx::DialogTemplate* tmpl =
      resources ? resources->FindDialogTemplate(m_nIDTemplate) : nullptr;
  return tmpl ? tmpl->caption : CString();
}

// ---- CPropertySheet

namespace {
constexpr int kMargin = 8;
constexpr int kTabHeight = 22;
constexpr int kTabWidth = 110;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr int kFirstTabId = 0x3100;
}  // namespace

BEGIN_MESSAGE_MAP(CPropertySheet, CDialog)
ON_COMMAND(ID_APPLY_NOW, &CPropertySheet::OnApplyNow)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(const char* caption, CWnd* pParent)
    : CDialog(0, pParent), m_strCaption(caption ? caption : "") {}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd) DestroyWindow();
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  if (!page) return;
  page->m_pSheet = this;
  m_pages.push_back(page);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? m_pages[static_cast<std::size_t>(index)] : nullptr;
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(m_nActive); }

INT_PTR CPropertySheet::DoModal() {
  if (m_pages.empty()) {
    Report("property sheet \"" + m_strCaption + "\" has no pages");
    return -1;
  }
  LONG pageWidth = 0;
  LONG pageHeight = 0;
  for (CPropertyPage* page : m_pages) {
    const kx::DialogTemplate* tmpl = LookUp(page->m_nIDTemplate);
    if (!tmpl) return -1;
    pageWidth = std::max(pageWidth, tmpl->width);
    pageHeight = std::max(pageHeight, tmpl->height);
  }
  const LONG width =
      std::max<LONG>(pageWidth + 2 * kMargin, 3 * (kButtonWidth + kMargin) + kMargin);
  const LONG buttonsTop = kMargin + kTabHeight + 2 + pageHeight + kMargin;
  m_template = kx::DialogTemplate{};
  m_template.caption = m_strCaption;
  m_template.width = width;
  m_template.height = buttonsTop + kButtonHeight + kMargin;
  for (int i = 0; i < GetPageCount(); ++i) {
    const LONG left = kMargin + i * kTabWidth;
    m_template.controls.push_back({kFirstTabId + i, kx::ControlKind::Tab,
                                   RECT{left, kMargin, left + kTabWidth, kMargin + kTabHeight},
                                   m_pages[static_cast<std::size_t>(i)]->GetTitle(), 0});
  }
  const std::pair<int, const char*> buttons[] = {
      {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {ID_APPLY_NOW, "Apply"}};
  LONG left = width - 3 * (kButtonWidth + kMargin);
  for (const auto& [id, caption] : buttons) {
    m_template.controls.push_back(
        {id, kx::ControlKind::Button,
         RECT{left, buttonsTop, left + kButtonWidth, buttonsTop + kButtonHeight}, caption,
         id == IDOK ? kx::kDefault : (id == ID_APPLY_NOW ? kx::kDisabled : 0U)});
    left += kButtonWidth + kMargin;
  }
  m_nActive = -1;
  return RunModal(&m_template);
}

BOOL CPropertySheet::OnInitDialog() {
  CDialog::OnInitDialog();
  SetActivePage(0);
  return TRUE;
}

BOOL CPropertySheet::SetActivePage(int index) {
  CPropertyPage* page = GetPage(index);
  if (!page || !m_hWnd) return FALSE;
  if (CPropertyPage* current = GetActivePage(); current && index != m_nActive) {
    if (!current->OnKillActive()) return FALSE;
    current->ShowWindow(SW_HIDE);
  }
  if (!page->m_hWnd) {
    const kx::DialogTemplate* tmpl = LookUp(page->m_nIDTemplate);
    if (!tmpl ||
        !page->CreateIndirect(*tmpl, this, true, POINT{kMargin, kMargin + kTabHeight + 2})) {
      return FALSE;
    }
  }
  page->ShowWindow(SW_SHOW);
  m_nActive = index;
  for (int i = 0; i < GetPageCount(); ++i) CheckDlgButton(kFirstTabId + i, i == index ? 1 : 0);
  page->OnSetActive();
  return TRUE;
}

void CPropertySheet::UpdateApplyButton() {
  const bool modified = std::any_of(m_pages.begin(), m_pages.end(),
                                    [](const CPropertyPage* p) { return p->IsModified(); });
  if (CWnd* apply = GetDlgItem(ID_APPLY_NOW)) apply->EnableWindow(modified ? TRUE : FALSE);
}

BOOL CPropertySheet::ApplyAll() {
  for (CPropertyPage* page : m_pages) {
    if (!page->m_hWnd) continue;
    if (!page->OnApply()) return FALSE;
    page->m_bModified = FALSE;
  }
  UpdateApplyButton();
  return TRUE;
}

void CPropertySheet::OnOK() {
  if (CPropertyPage* current = GetActivePage(); current && !current->OnKillActive()) return;
  if (ApplyAll()) EndDialog(IDOK);
}

void CPropertySheet::OnCancel() {
  for (CPropertyPage* page : m_pages) {
    if (page->m_hWnd) page->OnCancel();
  }
  EndDialog(IDCANCEL);
}

void CPropertySheet::OnApplyNow() {
  if (CPropertyPage* current = GetActivePage(); current && !current->OnKillActive()) return;
  ApplyAll();
}
