// Device-independent bitmaps, device contexts and the stretched blit onto a picture's surface.
// Threads: thread-safe (the camera thread blits while the window's thread renders).
#pragma once

#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

#include "platform/WinDefs.h"

inline constexpr DWORD CBM_INIT = 4;

// Creates a device-independent bitmap whose pixels the caller writes through *bits: rows padded
// to four bytes, bottom-up or top-down by the sign of the header's height, zero-filled. 24 and 32
// bits per pixel, uncompressed, are supported. Returns null (and *bits null) on a bad header,
// with the reason in the log. The HDC, section and offset are not used.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// Creates a bitmap described by header and, with CBM_INIT, fills it from bits laid out as info
// describes. Returns null on a bad header.
HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);
// Deletes a bitmap; FALSE for a handle that names no bitmap. Pixel pointers handed out die with it.
BOOL DeleteObject(HBITMAP bitmap);

// A device context of a window (its picture surface, if it has one) or of memory (null = screen).
// Every context must be given back with ReleaseDC or DeleteDC. GetDC returns null for a handle that
// names no window.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// Returns the previous mode, 0 for a bad context. Every mode stretches by nearest neighbour.
int SetStretchBltMode(HDC hdc, int mode);

// Copies the source rectangle of a bitmap onto the destination rectangle of the context's surface,
// stretching by nearest neighbour (source x = xSrc + dx * wSrc / wDest, rows likewise). ySrc is
// counted from the bottom row for bottom-up bitmaps, as device-independent bitmaps do. Pixels
// outside the surface are skipped. Thread-safe against rendering. Returns the number of
// destination rows, 0 on a bad argument (reason in the log) or a context without surface.
int StretchDIBits(HDC hdc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc,
                  int hSrc, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);

namespace kx {

// The pixels a picture control shows: BGR, the size of its client area. Every access locks mutex,
// because the camera thread blits while the window's thread renders.
struct Surface {
  std::mutex mutex;
  cv::Mat pixels;
};

// A context drawing onto surface (null: a context that draws nowhere). Framework-internal.
HDC CreateSurfaceDC(std::shared_ptr<Surface> surface);

// Bytes of one row of a device-independent bitmap of this width and depth.
int DibRowBytes(LONG width, int bitsPerPixel);
// A copy of a bitmap as 8-bit BGR, top row first; empty for an unknown handle.
cv::Mat BitmapToMat(HBITMAP bitmap);
// Number of bitmaps alive (for leak checks in tests).
int LiveBitmapCount();

}  // namespace kx
