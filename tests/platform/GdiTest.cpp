// Bitmaps and the nearest-neighbour stretched blit onto a picture control's surface.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ExampleDialog.h"
#include "common/Frame.h"
#include "common/Log.h"
#include "platform/Gdi.h"
#include "platform/WindowTable.h"

namespace kx::test {
namespace {

// A frame whose pixels name their own position: blue = x / 2, green = y / 3, red = (x + y) % 256.
std::vector<BYTE> NumberedFrame() {
  std::vector<BYTE> frame(kx::kFrameBytes);
  for (int y = 0; y < kx::kFrameHeight; ++y) {
    for (int x = 0; x < kx::kFrameWidth; ++x) {
      BYTE* p = &frame[static_cast<std::size_t>(y * kx::kFrameStride + x * 3)];
      p[0] = static_cast<BYTE>(x / 2);
      p[1] = static_cast<BYTE>(y / 3);
      p[2] = static_cast<BYTE>((x + y) % 256);
    }
  }
  return frame;
}

cv::Mat Surface(const CWnd& wnd) {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  kx::WindowRecord* r = kx::FindRecord(wnd.m_hWnd);
  std::lock_guard<std::mutex> pixels(r->surface->mutex);
  return r->surface->pixels.clone();
}

class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dlg.Create(kExampleTemplate));
    m_dlg.m_wndLive.SetWindowPos(nullptr, 0, 0, 192, 256, SWP_NOMOVE | SWP_NOZORDER);
  }
  // Blits src (described by info) onto the whole live view the way the module's windows do.
  int BlitOntoLive(const void* src, const BITMAPINFO& info, int w, int h) {
    HDC dc = GetDC(m_dlg.m_wndLive.m_hWnd);
    CRect rc;
    m_dlg.m_wndLive.GetClientRect(&rc);
    SetStretchBltMode(dc, COLORONCOLOR);
    const int rows = StretchDIBits(dc, rc.left, rc.top, rc.Width(), rc.Height(), 0, 0, w, h, src,
                                   &info, DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(m_dlg.m_wndLive.m_hWnd, dc);
    return rows;
  }

  ScopedExampleResources m_resources;
  CExampleDialog m_dlg;
};

TEST_F(GdiTest, FrameStretchesOntoTheLiveViewByNearestNeighbour) {
  const std::vector<BYTE> frame = NumberedFrame();
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeFrameHeader();
  ASSERT_EQ(BlitOntoLive(frame.data(), info, 480, 640), 256);
  const cv::Mat s = Surface(m_dlg.m_wndLive);
  ASSERT_EQ(s.cols, 192);
  ASSERT_EQ(s.rows, 256);
  for (int y = 0; y < 256; y += 5) {
    for (int x = 0; x < 192; x += 7) {
      const int sx = x * 480 / 192;  // 2.5 source pixels per view pixel, dropped not blended
      const int sy = y * 640 / 256;
      const cv::Vec3b expected(static_cast<uchar>(sx / 2), static_cast<uchar>(sy / 3),
                               static_cast<uchar>((sx + sy) % 256));
      ASSERT_EQ(s.at<cv::Vec3b>(y, x), expected) << x << "," << y;
    }
  }
  EXPECT_EQ(s.at<cv::Vec3b>(255, 191), cv::Vec3b(477 / 2, 637 / 3, (477 + 637) % 256));
}

TEST_F(GdiTest, BottomUpBitmapsAreShownUpright) {
  // Two rows, four pixels wide: stored bottom row first.
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(4, 2, false);
  std::vector<BYTE> bits(static_cast<std::size_t>(kx::DibStride(4) * 2), 0);
  bits[0] = 10;                                           // bottom row, blue 10
  bits[static_cast<std::size_t>(kx::DibStride(4))] = 20;  // top row, blue 20
  ASSERT_GT(BlitOntoLive(bits.data(), info, 4, 2), 0);
  const cv::Mat s = Surface(m_dlg.m_wndLive);
  EXPECT_EQ(s.at<cv::Vec3b>(0, 0)[0], 20);
  EXPECT_EQ(s.at<cv::Vec3b>(255, 0)[0], 10);
}

TEST_F(GdiTest, BadArgumentsDrawNothing) {
  kx::ScopedLogCapture log;
  const std::vector<BYTE> frame = NumberedFrame();
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeFrameHeader();
  EXPECT_EQ(BlitOntoLive(frame.data(), info, 481, 640), 0);  // source outside the bitmap
  info.bmiHeader.biBitCount = 8;
  EXPECT_EQ(BlitOntoLive(frame.data(), info, 480, 640), 0);
  EXPECT_EQ(GetDC(nullptr), nullptr);
  HDC memory = CreateCompatibleDC(nullptr);
  info.bmiHeader = kx::MakeFrameHeader();
  EXPECT_EQ(StretchDIBits(memory, 0, 0, 10, 10, 0, 0, 480, 640, frame.data(), &info, DIB_RGB_COLORS,
                          SRCCOPY),
            0);
  EXPECT_TRUE(DeleteDC(memory));
  const cv::Mat s = Surface(m_dlg.m_wndLive);
  EXPECT_EQ(s.at<cv::Vec3b>(10, 10), cv::Vec3b(240, 240, 240));
  // Each refusal names what is wrong; a context without surface is no mistake.
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{
                "kestrix: gdi: StretchDIBits: source 0,0 481x640 outside the 480x640 bitmap or "
                "empty destination 192x256",
                "kestrix: gdi: StretchDIBits: bad bitmap header: only 24 and 32 bits per pixel are "
                "supported"}));
}

TEST(Bitmaps, SectionsArePaddedAndDeletedOnce) {
  const int before = kx::LiveBitmapCount();
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(34, -3);  // 102 bytes of pixels, 104 a row
  info.bmiHeader.biHeight = 3;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bmp, nullptr);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(kx::DibRowBytes(34, 24), 104);
  auto* p = static_cast<BYTE*>(bits);
  std::memset(p, 0, 104 * 3);
  p[104 * 2] = 77;  // last stored row is the top row of a bottom-up bitmap
  const cv::Mat m = kx::BitmapToMat(bmp);
  ASSERT_EQ(m.cols, 34);
  ASSERT_EQ(m.rows, 3);
  EXPECT_EQ(m.at<cv::Vec3b>(0, 0)[0], 77);
  EXPECT_EQ(kx::LiveBitmapCount(), before + 1);
  EXPECT_TRUE(DeleteObject(bmp));
  EXPECT_FALSE(DeleteObject(bmp));
  EXPECT_EQ(kx::LiveBitmapCount(), before);

  kx::ScopedLogCapture log;
  info.bmiHeader.biWidth = 0;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{
                "kestrix: gdi: CreateDIBSection: bad bitmap header: width not positive"});
}

}  // namespace
}  // namespace kx::test
