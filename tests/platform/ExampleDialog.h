// A small dialog that uses every part of the framework, and the in-memory resources it lives in.
#pragma once

#include <map>

#include "platform/Controls.h"
#include "platform/Dialog.h"

namespace kx::test {

enum : int {
  kExampleTemplate = 100,
  kPageTemplate = 101,
  kArrowBitmap = 200,
  kIdCount = 1001,
  kIdScale = 1002,
  kIdStep = 1003,
  kIdAuto = 1005,
  kIdRoll = 1006,
  kIdSheet = 1007,
  kIdGain = 1008,
  kIdMode = 1009,
  kIdLive = 1010,
  kIdArrow = 1011,
  kIdStart = 1012,
  kIdStop = 1013,
};

class MemoryResources : public kx::IResources {
 public:
  MemoryResources();
  const kx::DialogTemplate* FindDialogTemplate(UINT id) const override;
  cv::Mat FindBitmap(UINT id) const override;

  std::map<UINT, kx::DialogTemplate> m_templates;
  std::map<UINT, cv::Mat> m_bitmaps;
};

// The example resources, installed for the object's lifetime (taken away again even when a test
// ends early on a failed assertion).
class ScopedExampleResources : public MemoryResources {
 public:
  ScopedExampleResources() { kx::InstallResources(this); }
  ~ScopedExampleResources() { kx::InstallResources(nullptr); }
};

class CExampleDialog : public CDialog {
 public:
  explicit CExampleDialog(CWnd* pParent = nullptr) : CDialog(kExampleTemplate, pParent) {}

  int m_nCount = 3;
  double m_dScale = 2.5;
  float m_fStep = 0.125f;
  int m_bAuto = 1;
  int m_nRollSheet = 0;
  int m_nGain = 40;
  int m_nMode = 1;
  CStatic m_wndLive;
  CSliderCtrl m_sldGain;
  CComboBox m_cbMode;
  CBitmapButton m_btnArrow;

  // What the handlers saw.
  bool m_bRunning = false;
  int m_nClicks = 0;
  UINT m_nLastFlags = 0;
  CPoint m_ptLast;
  int m_nOK = 0;
  int m_nCancel = 0;
  int m_nReleased = 0;
  int m_nModeChanges = 0;
  int m_nAutoClicks = 0;
  bool m_bBusyRun = false;  // Start's operation keeps the dialog busy
  int m_nStopRequests = 0;  // close requests the busy operation was told of
  bool m_bVisibleAtStopRequest = false;
  bool m_bRunningAtClose = false;  // whether OnOK or OnCancel ran with the operation still going

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnLButtonDown(UINT nFlags, CPoint point);
  void OnStart();
  void OnStop();
  void OnAuto() { ++m_nAutoClicks; }
  void OnModeChange() { ++m_nModeChanges; }
  void OnReleased(UINT id, NMHDR* header, LRESULT* result);

 protected:
  void OnStopRequest() override;
  void DoDataExchange(CDataExchange* pDX) override;

  DECLARE_MESSAGE_MAP()
};

}  // namespace kx::test
