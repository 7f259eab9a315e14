// What the camera shows the user: a frame with the crosshair through its centre, stretched into a
// window's picture.
// Threads: reentrant (called on the camera thread; the picture's handle may vanish meanwhile,
// which is checked on every frame).
#pragma once

#include <cstddef>

#include <opencv2/core.hpp>

#include "common/BitmapInfo.h"
#include "platform/Wnd.h"

namespace kx {

// A copy of a camera frame (its first count bytes, at most a whole frame; the rest black) with
// the green crosshair, 3 pixels wide, through the frame's centre.
cv::Mat CrosshairFrame(const BYTE* frame, std::size_t count);

// Stretches a frame-sized picture (header describes it) over the client area of picture; nothing
// when picture has no window.
void ShowFrame(const CWnd& picture, const BITMAPINFOHEADER& header, const cv::Mat& image);

}  // namespace kx
