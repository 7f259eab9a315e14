// The setup page's calibration settings a world stands for.
#include "sim/WorldSetup.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "sim/World.h"

namespace kx {

cv::Point NominalMount(const WorldCameraOptions& camera) {
  return {static_cast<int>(std::lround(camera.offsetX / 100.0)) * 100,
          static_cast<int>(std::lround(camera.offsetY / 100.0)) * 100};
}

double ExplainedScale(const WorldOptions& options, int squareSize) {
  const double seen =
      (squareSize + 2 + options.cutter.cutWidth) / options.camera.scale + kSquareOutlineGain;
  return squareSize / seen;
}

CalibrationConfig ResolveSetup(const World& world) {
  return ResolveSetup(world.Options(), world.SheetCorners());
}

CalibrationConfig ResolveSetup(const WorldOptions& o,
                               const std::array<cv::Point2d, 4>& sheetCorners) {
  const WorldSetupOptions& s = o.setup;
  CalibrationConfig c;
  c.calibrated = s.calibrated;
  c.squarePower = s.squarePower;
  c.manual = s.manual;
  const double frameWidth = kFrameWidth * o.camera.scale;
  c.squareSize = s.squareSize.value_or(
      std::max(50, static_cast<int>(std::floor(frameWidth * 2.0 / 3.0 / 50.0)) * 50));
  const cv::Point mount = NominalMount(o.camera);
  c.moveX = s.moveX.value_or(c.squareSize / 2 - mount.x);
  c.moveY = s.moveY.value_or(c.squareSize / 2 - mount.y);

  // The square and the camera's view around it must keep clear of the paper.
  cv::Rect2d sheet;
  {
    std::vector<cv::Point2f> corners;
    for (const cv::Point2d& p : sheetCorners) corners.emplace_back(p);
    sheet = cv::boundingRect(corners);
  }
  const double viewX = kFrameCentreX * o.camera.scale + 200;
  const double viewY = kFrameCentreY * o.camera.scale + 200;
  const int side = c.squareSize + 4;
  const int w = o.cutter.bedWidth;
  const int h = o.cutter.bedHeight;
  const int edge = 1000;
  // The bed's corners, each far enough in for the first look to stay on the bed.
  // Room for all seven looks of an automatic calibration, each a further move from the last.
  constexpr int kLooks = 7;
  const int right = w - edge - side - kLooks * std::max(0, c.moveX);
  const int left = edge + kLooks * std::max(0, -c.moveX);
  const int top = h - edge - side - kLooks * std::max(0, c.moveY);
  const int bottom = edge + kLooks * std::max(0, -c.moveY);
  const std::array<cv::Point, 4> candidates{
      {{right, top}, {right, bottom}, {left, top}, {left, bottom}}};
  auto fits = [&](cv::Point p) {
    const cv::Point look = p + cv::Point(c.moveX, c.moveY) * kLooks;
    const bool onBed = p.x >= 2 && p.y >= 2 && p.x + side <= w && p.y + side <= h && look.x >= 0 &&
                       look.y >= 0 && look.x <= w && look.y <= h;
    const cv::Rect2d around(p.x - viewX, p.y - viewY, side + 2 * viewX, side + 2 * viewY);
    return onBed && (around & sheet).empty();
  };
  c.start = candidates[0];
  for (const cv::Point& p : candidates) {
    if (fits(p)) {
      c.start = p;
      break;
    }
  }
  if (s.startX) c.start.x = *s.startX;
  if (s.startY) c.start.y = *s.startY;
  if (s.material) {
    const double margin = kFrameHeight * o.camera.scale;
    c.material = cv::Rect2d(c.start.x - 2 - margin, c.start.y - 2 - margin, side + 2 * margin,
                            side + 2 * margin);
  }
  return c;
}

}  // namespace kx
