// A user-interface thread that ends with its dialog, and the property sheet.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "ExampleDialog.h"
#include "platform/Operator.h"
#include "platform/WinThread.h"

namespace kx::test {
namespace {

struct ThreadProbe {
  std::promise<HWND> created;
  std::atomic<bool> dialogDeleted{false};
  std::atomic<bool> threadDeleted{false};
};

class CProbeDialog : public CExampleDialog {
 public:
  explicit CProbeDialog(ThreadProbe& probe) : m_probe(probe) {}
  ~CProbeDialog() override { m_probe.dialogDeleted = true; }
  ThreadProbe& m_probe;
};

// Shows a dialog and destroys it when told by a thread message.
class CDialogThread : public CWinThread {
 public:
  explicit CDialogThread(ThreadProbe& probe) : m_probe(probe) {}
  ~CDialogThread() override { m_probe.threadDeleted = true; }

  BOOL InitInstance() override {
    m_pDialog = new CProbeDialog(m_probe);
    if (!m_pDialog->Create(kExampleTemplate)) return FALSE;
    m_pMainWnd = m_pDialog;
    m_probe.created.set_value(m_pDialog->m_hWnd);
    return TRUE;
  }
  int ExitInstance() override {
    delete m_pDialog;
    return CWinThread::ExitInstance() + 5;
  }
  LRESULT OnDestroyMain(WPARAM, LPARAM) {
    m_pDialog->DestroyWindow();
    return 0;
  }
  CProbeDialog* m_pDialog = nullptr;
  ThreadProbe& m_probe;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDialogThread, CWinThread)
ON_MESSAGE(WM_APP, &CDialogThread::OnDestroyMain)
END_MESSAGE_MAP()

// The run dialog's own suite ends its thread with WM_QUIT; here the loop ends by itself.
TEST(WinThread, DestroyingTheMainWindowEndsTheLoopAndTheThreadDeletesItself) {
  const ScopedExampleResources resources;
  ThreadProbe probe;
  auto* thread = new CDialogThread(probe);
  ASSERT_TRUE(thread->CreateThread());
  const DWORD id = thread->m_nThreadID;
  const HWND hwnd = probe.created.get_future().get();
  ASSERT_TRUE(IsWindow(hwnd));
  ASSERT_TRUE(PostThreadMessage(id, WM_APP, 0, 0));
  EXPECT_EQ(kx::WaitForThread(id), 5);  // ExitInstance's result; no WM_QUIT was posted
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(probe.dialogDeleted);
  EXPECT_TRUE(probe.threadDeleted);  // m_bAutoDelete
  EXPECT_FALSE(PostThreadMessage(id, WM_QUIT, 0, 0));
}

class CCountingPage : public CPropertyPage {
 public:
  CCountingPage() : CPropertyPage(kPageTemplate) {
    m_strTitle = "Camera";
    m_psp.pszTitle = m_strTitle.c_str();
    m_psp.dwFlags |= PSP_USETITLE;
  }
  BOOL OnSetActive() override {
    SetModified(TRUE);
    return CPropertyPage::OnSetActive();
  }
  void OnOK() override {
    UpdateData(TRUE);
    ++m_nOK;
  }
  void OnCancel() override { ++m_nCancel; }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, kIdCount, m_nValue); }
  CString m_strTitle;
  int m_nValue = 1;
  int m_nOK = 0;
  int m_nCancel = 0;
};

TEST(PropertySheet, ApplyAndOkCommitThePage) {
  const ScopedExampleResources resources;
  kx::ScriptedOperator op;
  kx::ScopedOperator scoped(&op);
  CCountingPage page;
  CPropertySheet sheet("Settings");
  sheet.AddPage(&page);
  bool applyEnabled = false;
  bool applyDisabledAfter = false;
  op.Then(kx::ScriptedOperator::Call(
              [&] { applyEnabled = sheet.GetDlgItem(ID_APPLY_NOW)->IsWindowEnabled(); }))
      .Then(kx::ScriptedOperator::SetText(kIdCount, "8"))
      .Then(kx::ScriptedOperator::PressButton(ID_APPLY_NOW))
      .Then(kx::ScriptedOperator::Call(
          [&] { applyDisabledAfter = !sheet.GetDlgItem(ID_APPLY_NOW)->IsWindowEnabled(); }))
      .Then(kx::ScriptedOperator::PressButton(IDOK));
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  EXPECT_EQ(page.GetTitle(), "Camera");
  EXPECT_TRUE(applyEnabled);
  EXPECT_TRUE(applyDisabledAfter);
  EXPECT_EQ(page.m_nOK, 2);  // Apply, then OK
  EXPECT_EQ(page.m_nValue, 8);
  EXPECT_EQ(page.m_nCancel, 0);
}

// A page whose button starts a long operation that pumps the thread's messages (the sheet's
// keys among them) until it is told to stop.
class CBusyPage : public CCountingPage {
 public:
  // WM_APP starts the work, as a button's click would.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_APP) return CCountingPage::WindowProc(message, wParam, lParam);
    Work();
    return 0;
  }
  void Work() {
    CBusyScope busy(*this);
    m_bWorking = true;
    while (m_bWorking) {
      MSG msg;
      if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
      } else {
        kx::WaitIdle();
      }
    }
    m_bSheetBusyAtEnd = m_pSheet->IsBusy();
  }
  void OnStopRequest() override {
    ++m_nStopRequests;
    m_bWorking = false;
  }
  void OnCancel() override {
    m_bWorkingAtCancel = m_bWorkingAtCancel || m_bWorking;
    CCountingPage::OnCancel();
  }
  bool m_bWorking = false;
  bool m_bWorkingAtCancel = false;
  bool m_bSheetBusyAtEnd = false;
  int m_nStopRequests = 0;
};

TEST(PropertySheet, EscapeWhileAPageIsBusyStopsThePageThenCancels) {
  const ScopedExampleResources resources;
  kx::ScriptedOperator op;
  kx::ScopedOperator scoped(&op);
  CBusyPage page;
  CPropertySheet sheet("Settings");
  sheet.AddPage(&page);
  op.Then(kx::ScriptedOperator::Call([&] { PostMessage(page.m_hWnd, WM_APP, 0, 0); }))
      .Then(kx::ScriptedOperator::PressKey(VK_ESCAPE).When([&] { return page.m_bWorking; }));
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  EXPECT_EQ(page.m_nStopRequests, 1);
  EXPECT_TRUE(page.m_bSheetBusyAtEnd) << "the page's operation kept the sheet busy";
  EXPECT_FALSE(sheet.IsBusy());
  EXPECT_EQ(page.m_nCancel, 1);
  EXPECT_FALSE(page.m_bWorkingAtCancel) << "the sheet cancels once the page's operation ended";
}

}  // namespace
}  // namespace kx::test
