// An 8-bit image that carries a region of interest between functions.
// Threads: reentrant.
#pragma once

#include <opencv2/core.hpp>

namespace kx {

// Pixels plus a region of interest. Without an explicit region the whole image is the region.
// Setting a region clips it to the image; a region that does not meet the image is refused.
class RoiImage {
 public:
  RoiImage() = default;
  // A zero-filled image of width x height pixels of the given OpenCV type (default 8-bit BGR).
  RoiImage(int width, int height, int type = CV_8UC3);
  // Takes the pixels as they are (no copy); the region is the whole image.
  explicit RoiImage(cv::Mat pixels);

  int Width() const { return m_pixels.cols; }
  int Height() const { return m_pixels.rows; }
  bool Empty() const { return m_pixels.empty(); }

  // Clips rect to the image and makes it the region. Returns false, leaving the region as it
  // was, when rect has no pixel in common with the image (including an empty rect).
  bool SetRoi(const cv::Rect& rect);
  void ResetRoi() { m_roi = cv::Rect(0, 0, Width(), Height()); }
  const cv::Rect& Roi() const { return m_roi; }

  // The region's pixels as a view sharing memory with the image.
  cv::Mat RoiMat() const { return m_pixels(m_roi); }
  cv::Mat& Pixels() { return m_pixels; }
  const cv::Mat& Pixels() const { return m_pixels; }

 private:
  cv::Mat m_pixels;
  cv::Rect m_roi;
};

}  // namespace kx
