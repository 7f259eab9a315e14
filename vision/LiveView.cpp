// What the camera shows the user: a frame with the crosshair, stretched into a picture.
#include "vision/LiveView.h"

#include <algorithm>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "platform/Gdi.h"

namespace kx {

cv::Mat CrosshairFrame(const BYTE* frame, std::size_t count) {
  // Only what the frame leaves out is cleared: a whole frame is copied without a fill first.
  cv::Mat cross(kFrameHeight, kFrameWidth, CV_8UC3);
  const std::size_t copied = std::min(count, kFrameBytes);
  std::memcpy(cross.data, frame, copied);
  std::memset(cross.data + copied, 0, kFrameBytes - copied);
  const int w = kFrameWidth;
  const int h = kFrameHeight;
  const cv::Scalar green(0, 255, 0);
  cv::line(cross, {0, Half(h)}, {w, Half(h)}, green, 3, cv::LINE_8);
  cv::line(cross, {Half(w), 0}, {Half(w), h}, green, 3, cv::LINE_8);
  return cross;
}

void ShowFrame(const CWnd& picture, const BITMAPINFOHEADER& header, const cv::Mat& image) {
  const HWND live = picture.GetSafeHwnd();
  if (!live) return;
  HDC dc = GetDC(live);
  RECT rc{};
  picture.GetClientRect(&rc);
  SetStretchBltMode(dc, COLORONCOLOR);
  BITMAPINFO info{};
  info.bmiHeader = header;
  StretchDIBits(dc, 0, 0, rc.right - rc.left, rc.bottom - rc.top, 0, 0, image.cols, image.rows,
                image.data, &info, DIB_RGB_COLORS, SRCCOPY);
  ReleaseDC(live, dc);
}

}  // namespace kx
