// An 8-bit image that carries a region of interest between functions.
#include "common/RoiImage.h"

namespace kx {

RoiImage::RoiImage(int width, int height, int type)
    : m_pixels(height, width, type, cv::Scalar::all(0)), m_roi(0, 0, width, height) {}

RoiImage::RoiImage(cv::Mat pixels)
    : m_pixels(std::move(pixels)), m_roi(0, 0, m_pixels.cols, m_pixels.rows) {}

bool RoiImage::SetRoi(const cv::Rect& rect) {
  const cv::Rect clipped = rect & cv::Rect(0, 0, Width(), Height());
  if (clipped.width <= 0 || clipped.height <= 0) return false;
  m_roi = clipped;
  return true;
}

}  // namespace kx
