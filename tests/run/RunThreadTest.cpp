// The run dialog hosted modeless on a user-interface thread of its own, and camera error texts.
#include <gtest/gtest.h>

#include <future>

#include "host/ResourceIds.h"
#include "host/Settings.h"
#include "platform/Input.h"
#include "platform/WinThread.h"
#include "run/KestrixThread.h"
#include "tests/support/RunHarness.h"

namespace kx::test {
namespace {

// Tells the test the dialog's window once the thread has created it.
class ProbeThread : public CKestrixThread {
 public:
  ProbeThread(std::promise<HWND>& created, const Scenario& s)
      : CKestrixThread(IDD_KESTRIX_RUN, nullptr, s.Doc().jobList, s.Doc().imageObject),
        m_created(created) {}
  BOOL InitInstance() override {
    const BOOL result = CKestrixThread::InitInstance();
    m_created.set_value(Dialog() ? Dialog()->GetSafeHwnd() : nullptr);
    return result;
  }

 private:
  std::promise<HWND>& m_created;
};

TEST(RunThread, DialogIsShownTopmostOnItsOwnThreadAndDeletedWhenTheThreadEnds) {
  const ScratchFolder scratch;
  Scenario scenario(SheetWorld(1, 1), scratch.Path());
  scenario.StoreCalibration();
  WriteIntMorvane("Kestrix Dialog", "Roll", 1, 1);
  std::promise<HWND> created;
  std::future<HWND> window = created.get_future();
  auto* thread = new ProbeThread(created, scenario);  // deletes itself when it ends
  ASSERT_TRUE(thread->CreateThread());
  const DWORD id = thread->m_nThreadID;
  const HWND hwnd = window.get();
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(kx::IsTopMost(hwnd));
  EXPECT_TRUE(CWnd::FromHandle(hwnd)->IsWindowVisible());

  // The user picks Sheet and closes; the host then ends the thread.
  ASSERT_TRUE(kx::PressButton(hwnd, IDC_KX_SHEET));
  ASSERT_TRUE(kx::PressButton(hwnd, IDC_KX_STOP));
  ASSERT_TRUE(PostThreadMessage(id, WM_QUIT, 0, 0));
  kx::WaitForThread(id);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(GetIntMorvane("Kestrix Dialog", "Roll", 1, 1), 0);
}

TEST(CameraErrors, TextsComeFromTheSystemTheCameraTableOrAFallback) {
  const ScratchFolder scratch;
  Scenario scenario(SheetWorld(1, 1), scratch.Path());
  CKestrixDialog dialog(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  ScriptedOperator op;
  op.ExpectBox("Error No:1234ABCD (Not Found The Error Message.)", IDOK);
  op.ExpectBox("Camera not connected", IDOK);
  ScopedOperator install(&op);
  dialog.ShowErrorMsg(0x1234ABCD);
  dialog.ShowErrorMsg(kCameraErrNotConnected);
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  EXPECT_EQ(op.PendingBoxes(), 0u);
}

}  // namespace
}  // namespace kx::test
