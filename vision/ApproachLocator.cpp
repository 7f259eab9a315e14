// The grey-level locator: approaching a weak match by small head moves, the rotation estimate
// from pre-rotated templates, and its image helpers.
#include "vision/ApproachLocator.h"

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"

namespace kx {

GreyMatch MatchGrey(const cv::Mat& greyFrame, const cv::Mat& greyTemplate, const cv::Rect& window) {
  GreyMatch m;
  const cv::Rect area = window & cv::Rect(0, 0, greyFrame.cols, greyFrame.rows);
  m.at = area.tl();
  if (greyTemplate.empty() || greyTemplate.type() != greyFrame.type() ||
      greyTemplate.cols > area.width || greyTemplate.rows > area.height)
    return m;
  cv::Mat result;
  cv::matchTemplate(greyFrame(area), greyTemplate, result, cv::TM_CCOEFF_NORMED);
  cv::Point loc;
  cv::minMaxLoc(result, nullptr, &m.score, nullptr, &loc);
  m.at = loc + area.tl();
  return m;
}

ApproachStep NextApproach(double score, cv::Point at, cv::Size templ, double scale) {
  ApproachStep s;
  s.score = score;
  if (!(score > kApproachLowerScore && score < kApproachUpperScore)) return s;
  s.approach = true;
  const int dxp = kFrameCentreX - Half(templ.width) - at.x;
  const int dyp = kFrameCentreY - Half(templ.height) - at.y;
  const long ax = Trunc(dxp * scale * kApproachFactor);
  const long ay = Trunc(dyp * scale * kApproachFactor);
  if (ax + ay == 0) {
    s.score = kApproachForcedScore;
    s.last = true;
  }
  s.dx = -ax;
  s.dy = ay;
  return s;
}

cv::Point CentringMove(cv::Point at, cv::Size templ, double scale) {
  const long dx = Trunc((kFrameCentreX - Half(templ.width) - at.x) * scale);
  const long dy = Trunc((kFrameCentreY - Half(templ.height) - at.y) * scale);
  return cv::Point(static_cast<int>(-dx), static_cast<int>(dy));
}

double EstimateRotation(const cv::Mat& frameArea, const RotationTemplates& slots, double score) {
  constexpr double kPi = 3.141592653589793;
  double best = score;
  double angle = 0.0;
  cv::Mat result;
  for (int k = 0; k < kRotationSlots; ++k) {
    const cv::Mat& slot = slots[static_cast<std::size_t>(k)];
    if (slot.empty() || slot.type() != frameArea.type() || slot.cols > frameArea.cols ||
        slot.rows > frameArea.rows)
      continue;
    cv::matchTemplate(frameArea, slot, result, cv::TM_CCOEFF_NORMED);
    double max = 0.0;
    cv::minMaxLoc(result, nullptr, &max);
    if (max > best) {
      best = max;
      angle = RotationSlotDegrees(k) * kPi / 180;
    }
  }
  return angle;
}

RotationTemplates MakeRotationTemplates(const RoiImage& reference) {
  RotationTemplates slots;
  const cv::Rect roi = reference.Roi();
  if (reference.Empty() || roi.width <= 0 || roi.height <= 0) return slots;
  cv::Mat grey;
  if (reference.Pixels().channels() == 3)
    cv::cvtColor(reference.Pixels(), grey, cv::COLOR_BGR2GRAY);
  else
    grey = reference.Pixels();
  // Pixel centres: the middle of a w-wide region lies at x + (w - 1) / 2.
  const cv::Point2f centre(static_cast<float>(roi.x + (roi.width - 1) / 2.0),
                           static_cast<float>(roi.y + (roi.height - 1) / 2.0));
  for (int k = 0; k < kRotationSlots; ++k) {
    const cv::Mat rotation = cv::getRotationMatrix2D(centre, RotationSlotDegrees(k), 1.0);
    cv::Mat rotated;
    cv::warpAffine(grey, rotated, rotation, grey.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    slots[static_cast<std::size_t>(k)] = rotated(roi).clone();
  }
  return slots;
}

void RemoveNoise(RoiImage& image) {
  const cv::Rect roi = image.Roi();
  const cv::Size half(Half(roi.width), Half(roi.height));
  if (image.Empty() || half.width < 1 || half.height < 1) return;
  cv::Mat area = image.RoiMat();
  cv::Mat small;
  cv::pyrDown(area, small, half);
  cv::Mat up;
  cv::pyrUp(small, up, area.size());
  up.copyTo(area);
}

void HighlightContour(const std::vector<cv::Point>& points, cv::Mat& image,
                      const cv::Scalar& colour) {
  const std::size_t total = points.size();
  for (std::size_t i = 1; i <= total; ++i)
    cv::line(image, points[i - 1], points[i % total], colour, 2, cv::LINE_8, 0);
}

}  // namespace kx
