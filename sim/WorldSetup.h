// The setup page's calibration settings a world stands for, with unset values chosen the way a
// technician sets them from the camera's nominal mount.
// Threads: reentrant.
#pragma once

#include <array>

#include <opencv2/core.hpp>

#include "sim/WorldOptions.h"

namespace kx {

// Every value of the world's "setup" section, resolved. Lengths are cutter units.
struct CalibrationConfig {
  bool calibrated = true;
  int squarePower = 25;
  int squareSize = 500;
  bool manual = false;
  int moveX = 200;
  int moveY = 200;
  cv::Point start;  // where the head stands when Calibrate is pressed
  // The light material around the square, empty when the square is cut into the bare bed.
  cv::Rect2d material;
};

class World;

// The world's setup section with its unset values chosen:
// - squareSize: the largest multiple of 50 that spans at most two thirds of the frame's width
//   (at least 50);
// - moveX, moveY: from the square's start corner to where the camera looks at the square's
//   centre, by the camera offset rounded to 100 units (the nominal mount): s / 2 - offset;
// - start: a free spot of the bed away from the printed sheet, where both the square and the
//   first look stay on the bed.
// - material: the square with a frame's height of margin all round.
CalibrationConfig ResolveSetup(const WorldOptions& options,
                               const std::array<cv::Point2d, 4>& sheetCorners);
CalibrationConfig ResolveSetup(const World& world);

// Pixels the square's outline gains in the camera by being found as the outer contour of its
// edges: the edge detector places the outer edge about half a pixel outside the line and the one
// dilation adds a pixel on each side.
inline constexpr double kSquareOutlineGain = 3.0;

// The Scale a calibration of this world measures (before it is stored with two decimals): the
// square is s + 2 units a side, its cut line cutter.cutWidth wide, and its side is measured on the
// line's outer edge, so the camera sees (s + 2 + cutWidth) / scale + kSquareOutlineGain pixels
// where the calibration divides s by them.
double ExplainedScale(const WorldOptions& options, int squareSize);

// The camera offset a technician reads off the camera's mount: the true one to the nearest 100.
cv::Point NominalMount(const WorldCameraOptions& camera);

}  // namespace kx
