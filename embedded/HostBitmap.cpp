// The embedded host's bitmap: original and resampled pixels, placement and real size.
#include "embedded/HostBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "common/Units.h"
#include "embedded/Document.h"

namespace kx {
namespace {

// Until the caller sets a real size, a hundred pixels make one document unit.
constexpr double kDefaultPixelsPerUnit = 100.0;

// Truncation toward zero, except that a value a hair below a whole number (rounding error of the
// scale arithmetic) counts as that number.
int SnapTrunc(double v) {
  const double nearest = std::nearbyint(v);
  if (std::abs(v - nearest) < 1e-7) return static_cast<int>(nearest);
  return TruncInt(v);
}

}  // namespace

uint64 HostBitmap::CreateObject(int, bool, int, uint64* handle) {
  const uint64 h =
      m_document && !m_original.empty() ? m_document->AttachBitmap(shared_from_this()) : 0;
  if (handle) *handle = h;
  return h;
}

void HostBitmap::SetRealWidth(double width) {
  if (width > 0.0) m_width = width;
}

void HostBitmap::SetRealHeight(double height) {
  if (height > 0.0) m_height = height;
}

bool HostBitmap::Create(const BITMAPINFOHEADER* header, const BYTE* bits) {
  if (!header || !bits || header->biCompression != BI_RGB) return false;
  const int bytesPerPixel = header->biBitCount == 24 ? 3 : header->biBitCount == 32 ? 4 : 0;
  const int w = header->biWidth;
  const int h = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  if (bytesPerPixel == 0 || w <= 0 || h <= 0) return false;
  const std::size_t stride = (static_cast<std::size_t>(w) * bytesPerPixel + 3) & ~std::size_t{3};
  cv::Mat pixels(h, w, CV_8UC3);
  const bool bottomUp = header->biHeight > 0;
  for (int row = 0; row < h; ++row) {
    const BYTE* src = bits + stride * static_cast<std::size_t>(bottomUp ? h - 1 - row : row);
    BYTE* dst = pixels.ptr<BYTE>(row);
    for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + bytesPerPixel * x, 3);
  }
  m_original = pixels;
  m_current = pixels;
  m_currentMode = -1;
  m_width = w / kDefaultPixelsPerUnit;
  m_height = h / kDefaultPixelsPerUnit;
  return true;
}

bool HostBitmap::SetPixels(const cv::Mat& bgr) {
  if (bgr.empty() || bgr.type() != CV_8UC3) return false;
  m_original = bgr.clone();
  m_current = m_original;
  m_currentMode = -1;
  if (m_width <= 0.0) m_width = bgr.cols / kDefaultPixelsPerUnit;
  if (m_height <= 0.0) m_height = bgr.rows / kDefaultPixelsPerUnit;
  return true;
}

bool HostBitmap::Resample(int w, int h, int mode, int) {
  if (w <= 0 || h <= 0 || m_original.empty()) return false;
  if (w == m_original.cols && h == m_original.rows) {
    m_current = m_original;
    m_currentMode = -1;
    return true;
  }
  // The same request again gives the same pixels: keep them rather than resample once more.
  if (w == m_current.cols && h == m_current.rows && mode == m_currentMode) return true;
  int interpolation = cv::INTER_CUBIC;
  if (mode == 0) {
    interpolation = cv::INTER_NEAREST;
  } else if (mode == 1) {
    interpolation = cv::INTER_LINEAR;
  } else if (w <= m_original.cols && h <= m_original.rows) {
    interpolation = cv::INTER_AREA;  // averages every source pixel: no aliasing when shrinking
  }
  cv::Mat resized;
  cv::resize(m_original, resized, cv::Size(w, h), 0.0, 0.0, interpolation);
  m_current = resized;
  m_currentMode = mode;
  return true;
}

int HostBitmap::CopyDataBits(BYTE** bits) const {
  if (!bits) return 0;
  *bits = nullptr;
  if (m_current.empty()) return 0;
  const std::size_t rowBytes = static_cast<std::size_t>(m_current.cols) * 3;
  auto* copy = static_cast<BYTE*>(std::malloc(rowBytes * static_cast<std::size_t>(m_current.rows)));
  if (!copy) return 0;
  for (int row = 0; row < m_current.rows; ++row)
    std::memcpy(copy + rowBytes * static_cast<std::size_t>(row), m_current.ptr<BYTE>(row),
                rowBytes);
  *bits = copy;
  return 1;
}

void HostBitmap::MapRealToBitmap(double x, double y, int* px, int* py, bool clamp) const {
  int col = 0;
  int row = 0;
  if (m_width > 0.0 && m_height > 0.0) {
    col = SnapTrunc((x - m_origin.x) / m_width * Width());
    row = SnapTrunc((m_origin.y + m_height - y) / m_height * Height());
  }
  if (clamp) {
    col = std::clamp(col, 0, std::max(Width() - 1, 0));
    row = std::clamp(row, 0, std::max(Height() - 1, 0));
  }
  if (px) *px = col;
  if (py) *py = row;
}

std::shared_ptr<HostBitmap> HostBitmap::Clone() const {
  auto copy = std::make_shared<HostBitmap>(m_document);
  copy->m_original = m_original.clone();
  copy->m_current = m_current.data == m_original.data ? copy->m_original : m_current.clone();
  copy->m_currentMode = m_currentMode;
  copy->m_origin = m_origin;
  copy->m_width = m_width;
  copy->m_height = m_height;
  return copy;
}

}  // namespace kx
