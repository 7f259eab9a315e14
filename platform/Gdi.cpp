// Device-independent bitmaps, device contexts and the stretched blit onto a picture's surface.
#include "platform/Gdi.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Log.h"
#include "platform/WindowTable.h"

struct HDC__ {
  std::shared_ptr<kx::Surface> surface;
  int stretchMode = BLACKONWHITE;
};

namespace kx {

namespace {

struct BitmapObject {
  BITMAPINFOHEADER header;
  std::vector<BYTE> bits;
};

std::mutex g_bitmapMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<BitmapObject>> g_bitmaps;
std::uintptr_t g_nextBitmap = 0x1000;

void Report(const std::string& message) { Log(LogLevel::Error, LogCategory::Gdi, message); }

// Checks a header for the formats we draw; on failure the log names what is wrong.
bool ValidHeader(const BITMAPINFOHEADER& h, const char* caller) {
  const char* problem = nullptr;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) {
    problem = "header size below 40";
  } else if (h.biWidth <= 0) {
    problem = "width not positive";
  } else if (h.biHeight == 0) {
    problem = "height 0";
  } else if (h.biPlanes != 1) {
    problem = "planes not 1";
  } else if (h.biBitCount != 24 && h.biBitCount != 32) {
    problem = "only 24 and 32 bits per pixel are supported";
  } else if (h.biCompression != BI_RGB) {
    problem = "compressed bitmaps are not supported";
  }
  if (problem) Report(std::string(caller) + ": bad bitmap header: " + problem);
  return problem == nullptr;
}

std::size_t ImageBytes(const BITMAPINFOHEADER& h) {
  const LONG rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  return static_cast<std::size_t>(DibRowBytes(h.biWidth, h.biBitCount)) *
         static_cast<std::size_t>(rows);
}

HBITMAP AddBitmap(const BITMAPINFOHEADER& header, const void* init, void** bits) {
  auto bitmap = std::make_shared<BitmapObject>();
  bitmap->header = header;
  bitmap->bits.assign(ImageBytes(header), 0);
  if (init) std::memcpy(bitmap->bits.data(), init, bitmap->bits.size());
  if (bits) *bits = bitmap->bits.data();
  std::lock_guard<std::mutex> lock(g_bitmapMutex);
  const std::uintptr_t id = g_nextBitmap++;
  g_bitmaps.emplace(id, std::move(bitmap));
  return reinterpret_cast<HBITMAP>(id);
}

// Row r counted from the top of the image as shown.
const BYTE* RowFromTop(const BYTE* bits, const BITMAPINFOHEADER& h, int r) {
  const int stride = DibRowBytes(h.biWidth, h.biBitCount);
  const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const int stored = h.biHeight < 0 ? r : rows - 1 - r;
  return bits + static_cast<std::ptrdiff_t>(stored) * stride;
}

}  // namespace

int DibRowBytes(LONG width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }

cv::Mat BitmapToMat(HBITMAP handle) {
  std::shared_ptr<BitmapObject> bitmap;
  {
    std::lock_guard<std::mutex> lock(g_bitmapMutex);
    auto it = g_bitmaps.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_bitmaps.end()) return {};
    bitmap = it->second;
  }
  const BITMAPINFOHEADER& h = bitmap->header;
  const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const int bytesPerPixel = h.biBitCount / 8;
  cv::Mat out(rows, h.biWidth, CV_8UC3);
  for (int r = 0; r < rows; ++r) {
    const BYTE* src = RowFromTop(bitmap->bits.data(), h, r);
    BYTE* dst = out.ptr<BYTE>(r);
    for (int x = 0; x < h.biWidth; ++x) std::memcpy(dst + x * 3, src + x * bytesPerPixel, 3);
  }
  return out;
}

int LiveBitmapCount() {
  std::lock_guard<std::mutex> lock(g_bitmapMutex);
  return static_cast<int>(g_bitmaps.size());
}

HDC CreateSurfaceDC(std::shared_ptr<Surface> surface) {
  auto* dc = new HDC__;
  dc->surface = std::move(surface);
  return dc;
}

}  // namespace kx

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) {
    kx::Report("CreateDIBSection: no bitmap header");
    return nullptr;
  }
  if (!kx::ValidHeader(info->bmiHeader, "CreateDIBSection")) return nullptr;
  return kx::AddBitmap(info->bmiHeader, nullptr, bits);
}

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT) {
  if (!header || !kx::ValidHeader(*header, "CreateDIBitmap")) return nullptr;
  if ((init & CBM_INIT) && bits) {
    // The initial pixels are laid out as info says; we accept only the same layout.
    if (!info || info->bmiHeader.biWidth != header->biWidth ||
        info->bmiHeader.biHeight != header->biHeight ||
        info->bmiHeader.biBitCount != header->biBitCount) {
      kx::Report("CreateDIBitmap: the pixel layout differs from the bitmap's header");
      return nullptr;
    }
    return kx::AddBitmap(*header, bits, nullptr);
  }
  return kx::AddBitmap(*header, nullptr, nullptr);
}

BOOL DeleteObject(HBITMAP bitmap) {
  std::lock_guard<std::mutex> lock(kx::g_bitmapMutex);
  return kx::g_bitmaps.erase(reinterpret_cast<std::uintptr_t>(bitmap)) ? TRUE : FALSE;
}

HDC GetDC(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  kx::WindowRecord* record = kx::FindRecord(hwnd);
  return record ? kx::CreateSurfaceDC(record->surface) : nullptr;
}

int ReleaseDC(HWND, HDC hdc) {
  delete hdc;
  return hdc ? 1 : 0;
}

HDC CreateCompatibleDC(HDC) { return kx::CreateSurfaceDC(nullptr); }

BOOL DeleteDC(HDC hdc) {
  delete hdc;
  return hdc ? TRUE : FALSE;
}

int SetStretchBltMode(HDC hdc, int mode) {
  if (!hdc) return 0;
  const int previous = hdc->stretchMode;
  hdc->stretchMode = mode;
  return previous;
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int wDest, int hDest, int xSrc, int ySrc, int wSrc,
                  int hSrc, const void* bits, const BITMAPINFO* info, UINT, DWORD rop) {
  if (!hdc || !bits || !info) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (!kx::ValidHeader(h, "StretchDIBits")) return 0;
  const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (rop != SRCCOPY) {
    kx::Report("StretchDIBits: only SRCCOPY is supported");
    return 0;
  }
  if (wDest <= 0 || hDest <= 0 || wSrc <= 0 || hSrc <= 0 || xSrc < 0 || ySrc < 0 ||
      xSrc + wSrc > h.biWidth || ySrc + hSrc > rows) {
    kx::Report("StretchDIBits: source " + std::to_string(xSrc) + "," + std::to_string(ySrc) + " " +
               std::to_string(wSrc) + "x" + std::to_string(hSrc) + " outside the " +
               std::to_string(h.biWidth) + "x" + std::to_string(rows) +
               " bitmap or empty destination " + std::to_string(wDest) + "x" +
               std::to_string(hDest));
    return 0;
  }
  if (!hdc->surface) return 0;
  // Source rows counted from the top of the image as shown.
  const int top = h.biHeight < 0 ? ySrc : rows - ySrc - hSrc;
  const int bytesPerPixel = h.biBitCount / 8;
  const auto* src = static_cast<const BYTE*>(bits);

  std::lock_guard<std::mutex> lock(hdc->surface->mutex);
  cv::Mat& surface = hdc->surface->pixels;
  std::vector<int> columns(static_cast<std::size_t>(wDest));
  for (int dx = 0; dx < wDest; ++dx) {
    columns[static_cast<std::size_t>(dx)] =
        (xSrc + static_cast<int>(static_cast<std::int64_t>(dx) * wSrc / wDest)) * bytesPerPixel;
  }
  for (int dy = 0; dy < hDest; ++dy) {
    const int y = yDest + dy;
    if (y < 0 || y >= surface.rows) continue;
    const int srcRow = top + static_cast<int>(static_cast<std::int64_t>(dy) * hSrc / hDest);
    const BYTE* srcLine = kx::RowFromTop(src, h, srcRow);
    BYTE* dstLine = surface.ptr<BYTE>(y);
    for (int dx = 0; dx < wDest; ++dx) {
      const int x = xDest + dx;
      if (x < 0 || x >= surface.cols) continue;
      std::memcpy(dstLine + x * 3, srcLine + columns[static_cast<std::size_t>(dx)], 3);
    }
  }
  return hDest;
}
