// Finding a mark's reference area in camera frames by normalised cross-correlation.
#include "vision/TemplateLocator.h"

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"

namespace kx {

bool MatchAccepted(double score) { return score > kMatchThreshold; }

cv::Rect SearchWindow(const BOUNDS& jobBounds, double scale) {
  int ws = TruncInt((jobBounds.maxX - jobBounds.minX) / kDocPerCutter / scale);
  int hs = TruncInt((jobBounds.maxY - jobBounds.minY) / kDocPerCutter / scale);
  ws = ws < kFrameWidth ? Even(ws) : kFrameWidth;
  hs = hs < kFrameHeight ? Even(hs) : kFrameHeight;
  // The halves are integer halves; the subtraction happens in doubles as the original did.
  double x0 = kFrameCentreX - static_cast<double>(Half(ws));
  double y0 = kFrameCentreY - static_cast<double>(Half(hs));
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  return cv::Rect(TruncInt(x0), TruncInt(y0), ws, hs);
}

MarkMatch MatchMark(const cv::Mat (&frames)[kMatchFrames], const cv::Mat& templ,
                    const cv::Rect& window, double scale) {
  MarkMatch m;
  const cv::Rect frameRect(0, 0, kFrameWidth, kFrameHeight);
  if (templ.empty() || window.width <= 0 || window.height <= 0 || (window & frameRect) != window ||
      templ.cols > window.width || templ.rows > window.height)
    return m;

  double sumScore = 0.0;
  int sumX = 0;
  int sumY = 0;
  cv::Mat result;
  for (const cv::Mat& frame : frames) {
    cv::matchTemplate(frame(window), templ, result, cv::TM_CCOEFF_NORMED);
    double maxVal = 0.0;
    cv::Point maxLoc;
    cv::minMaxLoc(result, nullptr, &maxVal, nullptr, &maxLoc);
    sumScore += maxVal;
    sumX += maxLoc.x;
    sumY += maxLoc.y;
  }
  m.score = sumScore / kMatchFrames;
  m.best = cv::Point(sumX / kMatchFrames + window.x, sumY / kMatchFrames + window.y);
  if (MatchAccepted(m.score)) {
    m.found = true;
    const int w = templ.cols;
    const int h = templ.rows;
    m.x = -Trunc((Half(kFrameWidth) - Half(w) - m.best.x) * scale);
    m.y = Trunc((Half(kFrameHeight) - Half(h) - m.best.y) * scale);
  }
  return m;
}

}  // namespace kx
