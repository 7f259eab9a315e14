// The windows as a front end sees them: listed with their controls where the picture shows them,
// and a point of the picture leading back to the control and the client point a click means.
#include <gtest/gtest.h>

#include <algorithm>

#include "ExampleDialog.h"
#include "platform/Input.h"
#include "platform/WindowList.h"

namespace kx::test {
namespace {

const ShownWindow* Find(const std::vector<ShownWindow>& windows, HWND hwnd) {
  auto it = std::find_if(windows.begin(), windows.end(),
                         [&](const ShownWindow& w) { return w.hwnd == hwnd; });
  return it == windows.end() ? nullptr : &*it;
}

const ShownControl* ControlOf(const ShownWindow& w, int id) {
  for (const ShownControl& c : w.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

TEST(ShownWindows, ListVisibleDialogsWithTheControlsWhereThePictureShowsThemAndClicksLeadBack) {
  const ScopedExampleResources resources;
  CExampleDialog dlg;
  ASSERT_TRUE(dlg.Create(kExampleTemplate));
  EXPECT_EQ(Find(ShownWindows(), dlg.m_hWnd), nullptr) << "a hidden dialog is not shown";
  dlg.ShowWindow(SW_SHOW);
  dlg.SetWindowText("Example");

  std::vector<ShownWindow> windows = ShownWindows();
  const ShownWindow* w = Find(windows, dlg.m_hWnd);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->title, "Example");
  CRect rect;
  dlg.GetWindowRect(&rect);
  EXPECT_EQ(w->rect.right - w->rect.left, rect.Width());

  // The live picture's rectangle in the picture: its client position plus the client origin.
  const ShownControl* live = ControlOf(*w, kIdLive);
  ASSERT_NE(live, nullptr);
  CPoint topLeft(200, 10);
  dlg.ClientToScreen(&topLeft);
  EXPECT_EQ(live->rect.left, topLeft.x - rect.left);
  EXPECT_EQ(live->rect.top, topLeft.y - rect.top);
  EXPECT_EQ(live->kind, ControlKind::Picture);
  EXPECT_EQ(live->dialog, dlg.m_hWnd);
  const ShownControl* start = ControlOf(*w, kIdStart);
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->text, "Start");

  // The point 30, 40 inside the live picture, as the picture shows it, clicks the picture there.
  const POINT at{live->rect.left + 30, live->rect.top + 40};
  const ShownControl* hit = ControlAt(*w, at);
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit->id, kIdLive);
  ASSERT_TRUE(ClickControl(hit->dialog, hit->id, POINT{at.x - hit->rect.left, at.y - hit->rect.top},
                           MK_CONTROL));
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  EXPECT_EQ(dlg.m_nClicks, 1);
  EXPECT_EQ(dlg.m_ptLast.x, 200 + 30) << "dialog client coordinates";
  EXPECT_EQ(dlg.m_ptLast.y, 10 + 40);
  EXPECT_TRUE(dlg.m_nLastFlags & MK_CONTROL);

  // The frame and caption are no control; the last pixel row and column of a control still are,
  // the one past it is not.
  EXPECT_EQ(ControlAt(*w, POINT{1, 1}), nullptr);
  EXPECT_EQ(ControlAt(*w, POINT{live->rect.right - 1, live->rect.bottom - 1}), hit);
  const ShownControl* past = ControlAt(*w, POINT{live->rect.right, live->rect.top});
  EXPECT_TRUE(past == nullptr || past->id != kIdLive);
  // The close box lies in the caption, at its right end.
  EXPECT_GT(w->closeBox.left, live->rect.left);
  EXPECT_LT(w->closeBox.bottom, live->rect.top);

  // A hidden control drops out of the list; a destroyed window too.
  dlg.GetDlgItem(kIdStart)->ShowWindow(SW_HIDE);
  windows = ShownWindows();
  w = Find(windows, dlg.m_hWnd);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ControlOf(*w, kIdStart), nullptr);
  dlg.DestroyWindow();
  EXPECT_EQ(Find(ShownWindows(), dlg.m_hWnd), nullptr);
}

}  // namespace
}  // namespace kx::test
