// Sub-pixel position of a correlation peak.
#include "vision/PeakFit.h"

#include <algorithm>

namespace kx {

double ParabolaPeakOffset(double left, double centre, double right) {
  const double curvature = left - 2.0 * centre + right;
  if (!(curvature < 0.0)) return 0.0;
  const double offset = 0.5 * (left - right) / curvature;
  // A centre that is the largest sample keeps the summit within half a pixel; rounding at a tie
  // (summit exactly between two samples) must not push it past.
  return std::clamp(offset, -0.5, 0.5);
}

cv::Point2d RefinePeak(const cv::Mat& surface, cv::Point peak) {
  cv::Point2d refined(peak.x, peak.y);
  const auto at = [&surface](int x, int y) { return static_cast<double>(surface.at<float>(y, x)); };
  const double centre = at(peak.x, peak.y);
  if (peak.x > 0 && peak.x + 1 < surface.cols)
    refined.x += ParabolaPeakOffset(at(peak.x - 1, peak.y), centre, at(peak.x + 1, peak.y));
  if (peak.y > 0 && peak.y + 1 < surface.rows)
    refined.y += ParabolaPeakOffset(at(peak.x, peak.y - 1), centre, at(peak.x, peak.y + 1));
  return refined;
}

}  // namespace kx
