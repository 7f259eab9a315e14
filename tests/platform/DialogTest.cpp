// Modal loops, message routing, nested pumps, window filters, keys and clicks.
#include <gtest/gtest.h>

#include <functional>

#include "ExampleDialog.h"
#include "common/Log.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/Operator.h"
#include "platform/WindowTable.h"

namespace kx::test {
namespace {

using Op = kx::ScriptedOperator;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { kx::InstallOperator(&m_operator); }
  void TearDown() override {
    kx::InstallOperator(nullptr);
    EXPECT_FALSE(m_operator.Failed()) << m_operator.FailureText();
  }
  ScopedExampleResources m_resources;
  Op m_operator;
};

TEST_F(DialogTest, MissingTemplateGivesMinusOne) {
  kx::ScopedLogCapture log;
  CDialog dlg(4242);
  EXPECT_EQ(dlg.DoModal(), -1);
  kx::InstallResources(nullptr);
  CExampleDialog example;
  EXPECT_EQ(example.DoModal(), -1);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "kestrix: window: dialog template 4242 is not among the resources",
                             "kestrix: window: dialog template 100 is not among the resources"}));
}

TEST_F(DialogTest, DestroyingADialogFreesItAndEveryControl) {
  const int alive = kx::LiveWindowCount();
  const int controls = static_cast<int>(m_resources.m_templates[kExampleTemplate].controls.size());
  {
    CExampleDialog dlg;
    ASSERT_TRUE(dlg.Create(kExampleTemplate));
    EXPECT_EQ(kx::LiveWindowCount(), alive + 1 + controls);
    // A control object outlives its window: it must not keep the dead handle.
    const HWND live = dlg.m_wndLive.m_hWnd;
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(IsWindow(live));
    EXPECT_EQ(dlg.m_wndLive.GetSafeHwnd(), nullptr);
  }
  EXPECT_EQ(kx::LiveWindowCount(), alive);
}

TEST_F(DialogTest, EnterAndEscapeReachOnOkAndOnCancelAndOkWithABadTextStaysOpen) {
  CExampleDialog ok;
  m_operator.ExpectBox("Please enter an integer.", IDOK);
  m_operator.Then(Op::SetText(kIdCount, "twelve"))
      .Then(Op::PressKey(VK_RETURN))
      .Then(Op::SetText(kIdCount, "12"))
      .Then(Op::PressKey(VK_RETURN));
  EXPECT_EQ(ok.DoModal(), IDOK);
  EXPECT_EQ(ok.m_nOK, 2);
  EXPECT_EQ(ok.m_nCount, 12);  // the default OnOK read the controls
  EXPECT_EQ(ok.m_hWnd, nullptr);

  CExampleDialog cancel;
  m_operator.Then(Op::SetText(kIdCount, "13")).Then(Op::PressKey(VK_ESCAPE));
  EXPECT_EQ(cancel.DoModal(), IDCANCEL);
  EXPECT_EQ(cancel.m_nCancel, 1);
  EXPECT_EQ(cancel.m_nCount, 3);
}

// Enter, Escape and the close box during a busy operation: the operation is told to stop while
// the dialog is still shown, and the dialog ends the usual way only once the operation returned.
TEST_F(DialogTest, ClosingABusyDialogStopsItsOperationFirst) {
  const struct {
    const char* how;
    std::function<void(CExampleDialog&)> close;
    INT_PTR result;
  } cases[] = {
      {"Escape", [](CExampleDialog& d) { kx::PressKey(d.m_hWnd, VK_ESCAPE); }, IDCANCEL},
      {"Enter", [](CExampleDialog& d) { kx::PressKey(d.m_hWnd, VK_RETURN); }, IDOK},
      {"close box", [](CExampleDialog& d) { PostMessage(d.m_hWnd, WM_CLOSE, 0, 0); }, IDCANCEL},
      {"EndDialog", [](CExampleDialog& d) { d.EndDialog(9); }, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    CExampleDialog dlg;
    dlg.m_bBusyRun = true;
    bool busy = false;
    m_operator.Then(Op::PressButton(kIdStart)).Then(Op::Call([&] {
      busy = dlg.IsBusy();
      c.close(dlg);
    }));
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_TRUE(busy);
    EXPECT_EQ(dlg.m_nStopRequests, 1);
    EXPECT_TRUE(dlg.m_bVisibleAtStopRequest) << "not hidden while the operation runs";
    EXPECT_FALSE(dlg.m_bRunningAtClose);
    EXPECT_EQ(dlg.m_nOK + dlg.m_nCancel, c.result == 9 ? 0 : 1) << "closed once, afterwards";
    EXPECT_FALSE(dlg.IsBusy());
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
}

TEST_F(DialogTest, WithoutABusyScopeEscapeHidesTheDialogAtOnce) {
  CExampleDialog dlg;
  bool hiddenWhileRunning = false;
  m_operator.Then(Op::PressButton(kIdStart)).Then(Op::PressKey(VK_ESCAPE)).Then(Op::Call([&] {
    hiddenWhileRunning = !dlg.IsWindowVisible() && dlg.m_bRunning;
    dlg.m_bRunning = false;  // a user could not reach Stop any more
  }));
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(hiddenWhileRunning);
  EXPECT_EQ(dlg.m_nStopRequests, 0);
}

TEST_F(DialogTest, ClosingWhileIdleAfterABusyOperationEndsAtOnce) {
  CExampleDialog dlg;
  dlg.m_bBusyRun = true;
  m_operator.Then(Op::PressButton(kIdStart))
      .Then(Op::PressButton(kIdStop))
      .Then(Op::PressKey(VK_ESCAPE).When([&] { return !dlg.m_bRunning; }));
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_nStopRequests, 0) << "Stop ended the run; Escape found nothing busy";
  EXPECT_EQ(dlg.m_nCancel, 1);
}

TEST_F(DialogTest, PressingADisabledButtonFails) {
  kx::ScopedLogCapture log;
  Op op;  // its failure is the point, so not the fixture's
  kx::ScopedOperator scoped(&op);
  CExampleDialog dlg;
  op.Then(Op::PressButton(kIdStart))
      .Then(Op::PressButton(kIdStart))  // disabled while running: a user cannot press it
      .Then(Op::PressButton(kIdStop))
      .Then(Op::PressButton(kIdStop));
  EXPECT_EQ(dlg.DoModal(), 0);
  EXPECT_TRUE(op.Failed());
  EXPECT_NE(op.FailureText().find("could not press 1012"), std::string::npos);
  // The log says why the step could not act, then that the script failed.
  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "kestrix: input: press control 1012: the control is disabled");
  EXPECT_EQ(lines[1].rfind("kestrix: operator: scripted operator: could not press 1012", 0), 0u)
      << lines[1];
}

TEST_F(DialogTest, WindowFilterLeavesOtherWindowsMessagesQueued) {
  kx::InstallOperator(nullptr);
  CExampleDialog a;
  CExampleDialog b;
  ASSERT_TRUE(a.Create(kExampleTemplate));
  ASSERT_TRUE(b.Create(kExampleTemplate));
  {
    kx::ScopedLogCapture log;
    EXPECT_FALSE(kx::PressButton(a.m_hWnd, kIdAuto));  // nobody can click a hidden dialog
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "kestrix: input: press control 1005: the control is hidden"});
  }
  a.ShowWindow(SW_SHOW);
  ASSERT_TRUE(::PostMessage(b.m_hWnd, WM_APP, 1, 0));
  ASSERT_TRUE(::PostMessage(a.m_hWnd, WM_APP, 2, 0));
  ASSERT_TRUE(kx::PressButton(a.m_hWnd, kIdAuto));  // reaches a as a command from its child

  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_COMMAND);
  DispatchMessage(&msg);
  EXPECT_EQ(a.m_nAutoClicks, 1);
  EXPECT_FALSE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));

  // Messages of a's controls belong to a's filter too.
  ASSERT_TRUE(::PostMessage(a.GetDlgItem(kIdCount)->m_hWnd, WM_APP, 3, 0));
  EXPECT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);

  ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, b.m_hWnd);
  EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(DialogTest, ControlNotificationsReachTheirHandlers) {
  CExampleDialog dlg;
  m_operator.Then(Op::MoveSlider(kIdGain, 300))
      .Then(Op::SelectEntry(kIdMode, 2))
      .Then(Op::CheckRadio(kIdSheet))
      .Then(Op::PressButton(kIdAuto))
      .Then(Op::PressKey(VK_RETURN));
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_nReleased, 1);
  EXPECT_EQ(dlg.m_nGain, 255);  // clamped at the slider's end, read by the release handler
  EXPECT_EQ(dlg.m_nModeChanges, 1);
  EXPECT_EQ(dlg.m_nMode, 2);
  EXPECT_EQ(dlg.m_nRollSheet, 1);
  EXPECT_EQ(dlg.m_nAutoClicks, 1);
  EXPECT_EQ(dlg.m_bAuto, 0);
}

}  // namespace
}  // namespace kx::test
