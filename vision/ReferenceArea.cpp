// Where a mark's reference area lies in the reference image, and how it is previewed.
#include "vision/ReferenceArea.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "common/Units.h"

namespace kx {

cv::Rect ReferenceArea(int ox, int oy, int ax0, int ay0, int ax1, int ay1, int H) {
  // Relative to the object's corner, with v counted up from the bottom of the bitmap.
  const int au0 = ax0 - ox;
  const int au1 = ax1 - ox;
  const int av0 = H - ay0 - oy;
  const int av1 = H - ay1 - oy;
  const int rx = Even(au0);
  const int rv = Even(av0);
  const int rw = Even(au1 - rx);
  const int rh = Even(av1 - rv);
  return cv::Rect(rx, H - rh - rv, rw, rh);
}

cv::Point2d ReferenceCentre(const cv::Rect& area, int H, double scale) {
  return ReferenceCentre(area, H, cv::Point2d(scale, scale));
}

cv::Point2d ReferenceCentre(const cv::Rect& area, int H, cv::Point2d unitsPerPixel) {
  const int x = area.x + Half(area.width);
  const int y = H - area.y - Half(area.height);
  return cv::Point2d(x * unitsPerPixel.x, y * unitsPerPixel.y);
}

int PreviewFactor(cv::Size area, cv::Size client) {
  if (client.width <= 0 || client.height <= 0) return 1;
  return std::max(std::max(area.width / client.width, area.height / client.height) + 1, 1);
}

cv::Mat RenderPreview(const cv::Mat& area, cv::Size size) {
  cv::Mat preview(size, CV_8UC3, cv::Scalar::all(0));
  if (size.width <= 0 || size.height <= 0) return preview;
  if (!area.empty()) cv::resize(area, preview, size, 0, 0, cv::INTER_LINEAR);
  const cv::Scalar green(0, 255, 0);
  cv::line(preview, {0, Half(size.height)}, {size.width, Half(size.height)}, green, 1, cv::LINE_8);
  cv::line(preview, {Half(size.width), 0}, {Half(size.width), size.height}, green, 1, cv::LINE_8);
  return preview;
}

}  // namespace kx
