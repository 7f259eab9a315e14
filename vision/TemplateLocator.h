// Finding a mark's reference area in camera frames by normalised cross-correlation.
// Threads: reentrant.
#pragma once

#include <opencv2/core.hpp>

#include "common/Bounds.h"

namespace kx {

// Frames the locator averages over, and the pause between them (milliseconds).
inline constexpr int kMatchFrames = 3;
inline constexpr int kMatchFrameIntervalMs = 100;
// A mean correlation strictly above this counts as found.
inline constexpr double kMatchThreshold = 0.7;
// Whether a mean correlation score counts as a found mark.
bool MatchAccepted(double score);

// The search window in frame pixels, centred in the frame, sized to the job: the job's bounds
// (document units) in camera pixels, even, capped at the frame. Its origin is clamped at 0.
cv::Rect SearchWindow(const BOUNDS& jobBounds, double scale);

struct MarkMatch {
  bool found = false;
  double score = 0.0;  // mean of the frames' best correlation
  cv::Point best;      // mean top-left corner of the best matches, frame pixels
  cv::Point2d exact;   // the same to a fraction of a pixel when matched to sub-pixel precision
  long x = 0;          // offset camera centre -> mark centre, cutter units, x right
  long y = 0;          // and y up (toward row 0); meaningful only when found
  cv::Point2d offset;  // x, y before rounding, when matched to sub-pixel precision
};

// Matches templ (8-bit BGR) inside window of each frame (480 x 640 8-bit BGR), averages the best
// positions (integer division) and scores, and converts the offset of the matched area's centre
// from the frame centre to cutter units with scale (cutter units per pixel), truncating toward
// zero. A template that does not fit the window, or an empty window, is reported not found with
// score 0. Each frame's scores are the normalised correlation coefficient of the plain library
// match, computed exactly (no coarse search); the frames are correlated side by side on the
// library's worker threads. Pure: no sleeping, no state kept between calls.
// With subPixel each frame's peak is refined to a fraction of a pixel (RefinePeak), the frames'
// positions are averaged in floating point, the offset is that of the template's reference point
// (the corner between columns w/2 - 1 and w/2 and rows h/2 - 1 and h/2: the point ReferenceCentre
// names) from the centre of the frame's centre pixel, and it is rounded to the nearest cutter unit.
MarkMatch MatchMark(const cv::Mat (&frames)[kMatchFrames], const cv::Mat& templ,
                    const cv::Rect& window, double scale, bool subPixel = false);

// templ mapped by linear (x right, y down, in pixels) about its reference point, the point
// sub-pixel matches are measured to: the reference area as a print turned, scaled or sheared that
// way shows it. Pixels from beyond its edges repeat the edge.
cv::Mat WarpedTemplate(const cv::Mat& templ, const cv::Matx22d& linear);

}  // namespace kx
