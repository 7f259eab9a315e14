// Sub-pixel position of a correlation peak.
// Threads: reentrant.
#pragma once

#include <opencv2/core.hpp>

namespace kx {

// The offset, from -0.5 to 0.5 pixels, of the summit of the parabola through three samples taken
// one pixel apart (left, centre, right), from the centre sample. The centre is expected to be the
// largest of the three; when the samples do not curve downward (flat or a trough) the offset is 0.
double ParabolaPeakOffset(double left, double centre, double right);

// The position of the peak of surface (32-bit float, one channel) whose largest sample is at
// peak: each axis refined on its own by the parabola through the peak and its two neighbours.
// An axis whose neighbour lies outside the surface keeps the whole pixel.
cv::Point2d RefinePeak(const cv::Mat& surface, cv::Point peak);

}  // namespace kx
