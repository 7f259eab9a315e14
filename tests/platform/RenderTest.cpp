// The example dialog rendered headless: texts, states and pictures show in the image.
#include <gtest/gtest.h>

#include "ExampleDialog.h"
#include "common/Log.h"
#include "platform/Render.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

TEST(RenderWindow, DrawsTheDialogWithItsControls) {
  const ScopedExampleResources resources;
  CExampleDialog dlg;
  ASSERT_TRUE(dlg.Create(kExampleTemplate));
  dlg.ShowWindow(SW_SHOW);
  // What a picture control shows the run dialog's suite checks on its live view.
  const cv::Mat img = kx::RenderWindow(dlg);
  CRect window;
  dlg.GetWindowRect(&window);
  ASSERT_EQ(img.cols, window.Width());
  ASSERT_EQ(img.rows, window.Height());
  // The arrow's transparent grey shows the button face, its red body the image.
  CPoint arrowCorner(306 + 9, 10 + 9);
  dlg.ClientToScreen(&arrowCorner);
  EXPECT_EQ(img.at<cv::Vec3b>(arrowCorner.y - window.top, arrowCorner.x - window.left),
            cv::Vec3b(240, 240, 240));
  CPoint arrowBody(306 + 20, 10 + 8 + 16);
  dlg.ClientToScreen(&arrowBody);
  EXPECT_EQ(img.at<cv::Vec3b>(arrowBody.y - window.top, arrowBody.x - window.left),
            cv::Vec3b(40, 40, 200));
  // A hidden control leaves nothing behind.
  const cv::Mat before = img.clone();
  dlg.GetDlgItem(kIdStart)->ShowWindow(SW_HIDE);
  const cv::Mat hidden = kx::RenderWindow(dlg);
  EXPECT_GT(cv::norm(before, hidden, cv::NORM_L1), 0.0);

  const ScratchFolder scratch;
  const std::string path = (scratch / "example-dialog.png").string();
  dlg.GetDlgItem(kIdStart)->ShowWindow(SW_SHOW);
  ASSERT_TRUE(kx::SaveWindowPng(dlg, path));
  EXPECT_EQ(ReadText(path).substr(1, 3), "PNG");
  kx::ScopedLogCapture log;
  EXPECT_FALSE(kx::SaveWindowPng(dlg, "/nonexistent-dir/x.png"));
  ASSERT_FALSE(log.Lines().empty());
  EXPECT_EQ(log.Lines().back(),
            "kestrix: window: SaveWindowPng: cannot write /nonexistent-dir/x.png");
  CWnd none;
  EXPECT_TRUE(kx::RenderWindow(none).empty());
  EXPECT_FALSE(kx::SaveWindowPng(none, path));
  EXPECT_EQ(log.Lines().back(), "kestrix: window: SaveWindowPng: the window has nothing to draw");
}

}  // namespace
}  // namespace kx::test
