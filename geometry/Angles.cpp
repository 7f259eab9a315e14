// Angle functions and the two- and three-point calibration mappings.
#include "geometry/Angles.h"

#include <cmath>

#include "geometry/Registration.h"

namespace kx {

namespace {
NewWorldPt ToWorld(cv::Point p) {
  return NewWorldPt{static_cast<double>(p.x), static_cast<double>(p.y)};
}
}  // namespace

double CalcAngle(const cv::Point* pt1, const cv::Point* pt2, const cv::Point* pt0) {
  const double dx1 = pt1->x - pt0->x;
  const double dy1 = pt1->y - pt0->y;
  const double dx2 = pt2->x - pt0->x;
  const double dy2 = pt2->y - pt0->y;
  return (dx1 * dx2 + dy1 * dy2) /
         std::sqrt((dx1 * dx1 + dy1 * dy1) * (dx2 * dx2 + dy2 * dy2) + 1e-10);
}

double CalcAngle360(const cv::Point* pt1, const cv::Point* pt2, const cv::Point* pt0) {
  const double c = CalcAngle(pt1, pt2, pt0);
  if (pt0->y > pt1->y) return c;
  return 4.0 * std::atan(1.0) - c;
}

double CalcAngle2Pt(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  if (dx == 0.0 && dy == 0.0) return 0.0;
  if (dx == 0.0) return std::copysign(2.0 * std::atan(1.0), dy);
  if (dy == 0.0 && dx < 0.0) return 4.0 * std::atan(1.0);
  return std::atan(dy / dx);
}

double CalcAngle2Pt(cv::Point p1, cv::Point p2) { return CalcAngle2Pt(p1.x, p1.y, p2.x, p2.y); }

int CalcTwoCalPoint(double x, double y, double* outX, double* outY, const CalPoints& src,
                    const CalPoints& dst) {
  double k = 0.0;
  double s = 0.0;
  if (!SolveSimilarity(ToWorld(src[0]), ToWorld(src[1]), ToWorld(dst[0]), ToWorld(dst[1]), &k, &s))
    return -1;
  const double s0x = src[0].x, s0y = src[0].y;
  *outX = dst[0].x - k * s0x + s * s0y + (k * x - s * y);
  *outY = dst[0].y - k * s0y - s * s0x + (s * x + k * y);
  return 0;
}

int CalcPoint(double x, double y, double* outX, double* outY, const CalPoints& src,
              const CalPoints& dst) {
  AffineRows rows{};
  if (!AffineSourceDiffs(ToWorld(src[0]), ToWorld(src[1]), ToWorld(src[2]), &rows)) return -1;
  double A = 0.0, C = 0.0;
  if (!SolveAffineXRow(rows, dst[0].x, dst[1].x, dst[2].x, &A, &C)) return -1;
  const double s0x = src[0].x, s0y = src[0].y;
  *outX = A * x + C * y + (dst[0].x - A * s0x - C * s0y);
  double B = 0.0, E = 0.0;
  if (!SolveAffineYRow(rows, dst[0].y, dst[1].y, dst[2].y, &B, &E)) return -1;
  *outY = B * x + E * y + (dst[0].y - E * s0y - B * s0x);
  return 0;
}

}  // namespace kx
