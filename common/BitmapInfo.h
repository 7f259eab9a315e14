// The device-independent bitmap header that describes pixel arrays handed between layers.
// Threads: reentrant.
#pragma once

#include "common/Frame.h"
#include "common/WinTypes.h"

inline constexpr DWORD BI_RGB = 0;

// A positive height means the rows are stored bottom-up, a negative one top-down.
struct BITMAPINFOHEADER {
  DWORD biSize = 0;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 0;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};

namespace kx {

// Header for a 24-bit top-down bitmap of the given size; everything not set here stays 0.
constexpr BITMAPINFOHEADER MakeBgrHeader(LONG width, LONG height, bool topDown = true) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = topDown ? -height : height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  return h;
}

// The frame buffer's header: 480 wide, 640 high, top row first.
constexpr BITMAPINFOHEADER MakeFrameHeader() { return MakeBgrHeader(kFrameWidth, kFrameHeight); }

// Bytes of one row of a 24-bit bitmap, padded to four bytes as device-independent bitmaps are.
constexpr int DibStride(int width) { return (width * 3 + 3) & ~3; }

}  // namespace kx
