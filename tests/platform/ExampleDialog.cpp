// A small dialog that uses every part of the framework, and the in-memory resources it lives in.
#include "ExampleDialog.h"

#include <optional>

#include "platform/MessageQueue.h"

namespace kx::test {

using kx::ControlKind;

MemoryResources::MemoryResources() {
  kx::DialogTemplate& t = m_templates[kExampleTemplate];
  t.caption = "Example";
  t.width = 420;
  t.height = 300;
  t.controls = {
      {0, ControlKind::Static, {10, 10, 90, 30}, "Copies", 0},
      {kIdCount, ControlKind::Edit, {95, 10, 175, 32}, "", 0},
      {0, ControlKind::Static, {10, 40, 90, 60}, "Scale", 0},
      {kIdScale, ControlKind::Edit, {95, 40, 175, 62}, "", 0},
      {0, ControlKind::Static, {10, 70, 90, 90}, "Step", 0},
      {kIdStep, ControlKind::Edit, {95, 70, 175, 92}, "", 0},
      {0, ControlKind::GroupBox, {5, 130, 180, 200}, "Material", 0},
      {kIdRoll, ControlKind::Radio, {15, 150, 100, 170}, "Roll", kx::kGroup},
      {kIdSheet, ControlKind::Radio, {15, 172, 100, 192}, "Sheet", 0},
      {kIdAuto, ControlKind::Check, {10, 208, 180, 228}, "Automatic", kx::kGroup},
      {kIdGain, ControlKind::Slider, {10, 234, 180, 256}, "", 0},
      {kIdMode, ControlKind::ComboBox, {10, 262, 180, 284}, "", 0},
      {kIdLive, ControlKind::Picture, {200, 10, 296, 138}, "", 0},
      {kIdArrow, ControlKind::BitmapButton, {306, 10, 346, 50}, "", 0},
      {kIdStart, ControlKind::Button, {306, 60, 406, 86}, "Start", 0},
      {kIdStop, ControlKind::Button, {306, 94, 406, 120}, "Close", 0},
      {IDOK, ControlKind::Button, {226, 262, 306, 288}, "OK", kx::kDefault},
      {IDCANCEL, ControlKind::Button, {316, 262, 396, 288}, "Cancel", 0},
  };
  kx::DialogTemplate& page = m_templates[kPageTemplate];
  page.caption = "Page";
  page.width = 200;
  page.height = 80;
  page.controls = {{kIdCount, ControlKind::Edit, {10, 10, 100, 32}, "", 0},
                   {IDOK, ControlKind::Button, {110, 10, 190, 34}, "OK", kx::kHidden}};
  // An arrow on light grey, the grey to be drawn transparent.
  cv::Mat arrow(24, 24, CV_8UC3, cv::Scalar(192, 192, 192));
  for (int y = 4; y < 20; ++y) {
    for (int x = 12 - (y - 4) / 2; x <= 12 + (y - 4) / 2; ++x) {
      arrow.at<cv::Vec3b>(y, x) = cv::Vec3b(40, 40, 200);
    }
  }
  m_bitmaps[kArrowBitmap] = arrow;
}

const kx::DialogTemplate* MemoryResources::FindDialogTemplate(UINT id) const {
  auto it = m_templates.find(id);
  return it == m_templates.end() ? nullptr : &it->second;
}

cv::Mat MemoryResources::FindBitmap(UINT id) const {
  auto it = m_bitmaps.find(id);
  return it == m_bitmaps.end() ? cv::Mat() : it->second;
}

BEGIN_MESSAGE_MAP(CExampleDialog, CDialog)
ON_WM_LBUTTONDOWN()
ON_BN_CLICKED(kIdStart, &CExampleDialog::OnStart)
ON_BN_CLICKED(kIdStop, &CExampleDialog::OnStop)
ON_BN_CLICKED(kIdAuto, &CExampleDialog::OnAuto)
ON_CBN_SELCHANGE(kIdMode, &CExampleDialog::OnModeChange)
ON_NOTIFY_RANGE(NM_RELEASEDCAPTURE, kIdGain, kIdGain, &CExampleDialog::OnReleased)
END_MESSAGE_MAP()

void CExampleDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, kIdLive, m_wndLive);
  DDX_Control(pDX, kIdGain, m_sldGain);
  DDX_Control(pDX, kIdMode, m_cbMode);
  DDX_Control(pDX, kIdArrow, m_btnArrow);
  DDX_Text(pDX, kIdCount, m_nCount);
  DDX_Text(pDX, kIdScale, m_dScale);
  DDX_Text(pDX, kIdStep, m_fStep);
  DDX_Check(pDX, kIdAuto, m_bAuto);
  DDX_Radio(pDX, kIdRoll, m_nRollSheet);
  DDX_Slider(pDX, kIdGain, m_nGain);
  DDX_CBIndex(pDX, kIdMode, m_nMode);
}

BOOL CExampleDialog::OnInitDialog() {
  // Ranges and entries first, so that the base class's exchange can place the values.
  if (CWnd* slider = GetDlgItem(kIdGain)) static_cast<CSliderCtrl*>(slider)->SetRange(0, 255);
  if (CWnd* list = GetDlgItem(kIdMode)) {
    auto* combo = static_cast<CComboBox*>(list);
    combo->AddString("Fixed");
    combo->AddString("Automatic");
    combo->AddString("Manual");
  }
  CDialog::OnInitDialog();
  m_btnArrow.LoadBitmap(kArrowBitmap, FALSE, RGB(192, 192, 192));
  return TRUE;
}

void CExampleDialog::OnOK() {
  ++m_nOK;
  m_bRunningAtClose = m_bRunningAtClose || m_bRunning;
  CDialog::OnOK();
}

void CExampleDialog::OnCancel() {
  ++m_nCancel;
  m_bRunningAtClose = m_bRunningAtClose || m_bRunning;
  CDialog::OnCancel();
}

void CExampleDialog::OnLButtonDown(UINT nFlags, CPoint point) {
  CDialog::OnLButtonDown(nFlags, point);
  ++m_nClicks;
  m_nLastFlags = nFlags;
  m_ptLast = point;
}

// A long operation that stays responsive the way the module's runs do: one message of its own
// window between steps, until Stop clears the flag.
void CExampleDialog::OnStart() {
  std::optional<CBusyScope> busy;
  if (m_bBusyRun) busy.emplace(*this);
  m_bRunning = true;
  GetDlgItem(kIdStart)->EnableWindow(FALSE);
  SetDlgItemText(kIdStop, "Stop");
  while (m_bRunning) {
    MSG msg;
    if (PeekMessage(&msg, m_hWnd, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    } else {
      kx::WaitIdle();
    }
  }
  GetDlgItem(kIdStart)->EnableWindow(TRUE);
  SetDlgItemText(kIdStop, "Close");
}

void CExampleDialog::OnStopRequest() {
  ++m_nStopRequests;
  m_bVisibleAtStopRequest = IsWindowVisible() != FALSE;
  m_bRunning = false;
}

void CExampleDialog::OnStop() {
  if (m_bRunning) {
    m_bRunning = false;
    return;
  }
  EndDialog(0);
}

void CExampleDialog::OnReleased(UINT, NMHDR*, LRESULT* result) {
  ++m_nReleased;
  *result = 0;
  UpdateData(TRUE);
}

}  // namespace kx::test
