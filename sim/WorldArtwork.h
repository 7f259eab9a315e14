// The printed artwork of one copy: coloured shapes, corner features, text, and its cut paths.
// Threads: reentrant.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "sim/WorldOptions.h"

namespace kx {

enum class ShapeKind { Rectangle, Circle, Star, Ring, Text };

// A printed shape in artwork coordinates: cutter units from the copy's lower-left corner, y up.
struct ArtShape {
  ShapeKind kind = ShapeKind::Rectangle;
  cv::Point2d centre;
  double width = 0;   // rectangle width; text height
  double height = 0;  // rectangle height
  double radius = 0;  // circle, ring and star outer radius
  double inner = 0;   // ring hole and star inner radius
  double angle = 0;   // degrees, counter-clockwise
  cv::Scalar colour;  // BGR
  std::string text;
  bool cut = false;  // the job cuts around it
};

// A cut path in artwork (or document) coordinates: a polyline, or an arc when isArc is set.
struct CutPath {
  bool isArc = false;
  std::vector<cv::Point2d> points;  // polyline
  bool closed = false;
  cv::Point2d centre;  // arc
  double radius = 0;
  double startDeg = 0;
  double sweepDeg = 0;  // counter-clockwise, 360 for a full circle

  // Points along the path no further than maxStep apart, the closing point repeated when closed.
  std::vector<cv::Point2d> Flatten(double maxStep) const;
};

class Artwork {
 public:
  // Generates the artwork of one copy from the options (artwork knobs, copy size, seed).
  explicit Artwork(const WorldOptions& opts);

  double Width() const { return m_width; }
  double Height() const { return m_height; }
  const std::vector<ArtShape>& Shapes() const { return m_shapes; }
  const std::vector<CutPath>& CutPaths() const { return m_cuts; }
  // The distinctive areas near the corners, artwork coordinates (x, y = lower-left corner):
  // lower-left, lower-right, upper-left, upper-right.
  const std::array<cv::Rect2d, 4>& CornerAreas() const { return m_corners; }

  // Renders into out (already sized, CV_8UC3) the raster pixels whose column and row start at
  // (x0, y0) of the artwork raster at res cutter units a pixel. Pixel (c, r) of the raster is
  // centred on artwork point ((c + phase) * res, Height() - (r + phase) * res). Outside the copy
  // is paper. A phase of 0.5 puts pixel edges, not centres, on the copy's edges (a bitmap).
  void Render(double res, int x0, int y0, cv::Mat& out, double phase = 0.0) const;

  static const cv::Scalar kPaper;

 private:
  void AddCornerFeature(int corner, std::uint64_t seed);
  void AddCutPath(const ArtShape& s, double bleed);

  double m_width = 0;
  double m_height = 0;
  double m_printRes = 1;  // units a pixel of the raster the camera sees: the print
  bool m_textAsPrinted = false;
  std::vector<ArtShape> m_shapes;
  std::vector<CutPath> m_cuts;
  std::array<cv::Rect2d, 4> m_corners;
};

// Outline of a polygonal shape (rectangle, star) in artwork coordinates, grown by grow.
std::vector<cv::Point2d> ShapeOutline(const ArtShape& s, double grow = 0);

}  // namespace kx
