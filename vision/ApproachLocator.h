// The grey-level locator: approaching a weak match by small head moves, the rotation estimate
// from pre-rotated templates, and its image helpers.
// Threads: reentrant.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "common/RoiImage.h"

namespace kx {

// A grey score strictly between these two moves the head a little toward the match; at or
// below the lower one the mark is not found, strictly above the upper one it is.
inline constexpr double kApproachLowerScore = 0.4;
inline constexpr double kApproachUpperScore = 0.7;
// The fraction of the offset the head moves by on each approach step.
inline constexpr double kApproachFactor = 0.1;
// The score an approach ends with when its move would sum to nothing.
inline constexpr double kApproachForcedScore = 0.71;

// The rotated templates: slot k holds the reference area rotated by RotationSlotDegrees(k).
inline constexpr int kRotationSlots = 21;
// -5 + 0.5 k degrees, counter-clockwise as the camera sees it (and so on the bed, y up).
constexpr double RotationSlotDegrees(int k) { return 0.5 * k - 5; }
using RotationTemplates = std::array<cv::Mat, kRotationSlots>;

// The best normalised correlation of a grey template inside `window` of a grey frame.
struct GreyMatch {
  double score = 0.0;
  cv::Point at;  // the template's top-left corner at the best match, frame pixels
};
// Matches greyTemplate inside window (clipped to the frame) of greyFrame; both 8-bit, 1 channel.
// A template that does not fit the window scores 0 at the window's origin.
GreyMatch MatchGrey(const cv::Mat& greyFrame, const cv::Mat& greyTemplate, const cv::Rect& window);

// The head move of one approach pass for a best match at `at` of a w x h template, with scale
// cutter units per pixel.
struct ApproachStep {
  bool approach = false;  // the score lies strictly between the bounds: move and look again
  bool last = false;      // the move sums to zero: this move ends the approach, as found
  double score = 0.0;     // the score the pass ends with (forced when last)
  long dx = 0;            // the relative head move, cutter units, y up
  long dy = 0;
};
ApproachStep NextApproach(double score, cv::Point at, cv::Size templ, double scale);

// The relative head move, cutter units (y up), that centres the camera on a w x h area whose
// top-left corner lies at `at` in the frame: the offsets are truncated toward zero.
cv::Point CentringMove(cv::Point at, cv::Size templ, double scale);

// The rotation, radians, of the slot that matches frameArea (grey) strictly better than score;
// 0 when none does. Empty slots are skipped, ties keep the earlier slot; a slot that does not fit
// the area or is not grey is skipped too.
double EstimateRotation(const cv::Mat& frameArea, const RotationTemplates& slots, double score);

// Grey templates of the reference's region rotated about the region's centre by each slot's
// angle, the region's size, taken from the surrounding image so their corners hold picture too.
// reference is 8-bit BGR or grey. All slots stay empty for an empty region.
RotationTemplates MakeRotationTemplates(const RoiImage& reference);

// Smooths the region of a grey image in place: a 5 x 5 Gaussian pyramid step down to half size
// (integer halves) and back up. Regions smaller than 2 x 2 are left alone.
void RemoveNoise(RoiImage& image);

// Draws the closed polygon through points: lines from each point to the next and from the last
// back to the first, thickness 2, 8-connected. One point draws a dot; none draws nothing.
void HighlightContour(const std::vector<cv::Point>& points, cv::Mat& image,
                      const cv::Scalar& colour);

}  // namespace kx
