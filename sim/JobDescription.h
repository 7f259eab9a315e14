// The job for a simulated world as a plain description: reference bitmap, marks and cut paths.
// Threads: reentrant.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "sim/World.h"

namespace kx {

// All positions and sizes in document units (cutter units x 0.00254), y up.
struct JobDescription {
  cv::Mat reference;            // the copy's artwork at the camera's true scale, BGR, top row first
  cv::Point2d referenceOrigin;  // the bitmap's lower-left corner in the document
  double referenceWidth = 0;    // its size in the document
  double referenceHeight = 0;
  std::array<cv::Rect2d, 3> marks;  // x, y = lower-left; lower-left, lower-right, upper-left area
  std::vector<CutPath> cutPaths;    // around the artwork's shapes
};

// The job a run of world cuts: copy 0's artwork as a camera montage would have captured it,
// placed at world.DocOrigin(), its three corner areas as marks and its cut paths.
JobDescription MakeJob(const World& world);

}  // namespace kx
