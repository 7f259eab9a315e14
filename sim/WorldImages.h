// Pictures of the simulated world for looking at: the whole bed and single camera frames.
// Threads: reentrant.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "sim/World.h"

namespace kx {

// The bed seen from above at unitsPerPixel cutter units a pixel, y up: the paper, every copy's
// artwork, the knife cuts (red), the head (a cross), the knife and the camera's footprint (blue).
cv::Mat RenderBed(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                  double unitsPerPixel = 50.0);
// The same written as PNG; false (with nothing written) when the image cannot be written.
bool SaveBedPng(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                const std::string& path, double unitsPerPixel = 50.0);
// A camera frame (640 x 480 BGR) as PNG.
bool SaveFramePng(const cv::Mat& frame, const std::string& path);

}  // namespace kx
