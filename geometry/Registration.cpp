// Registration transforms estimated from one, two or three point pairs, and prediction with them.
#include "geometry/Registration.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/Units.h"

namespace kx {

TM GetTM(NewWorldPt src, NewWorldPt dst) { return TM::Translation(dst.x - src.x, dst.y - src.y); }

bool SolveSimilarity(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1, double* k,
                     double* s) {
  const double ux = src0.x - src1.x;
  const double uy = src0.y - src1.y;
  const double vx = dst0.x - dst1.x;
  const double vy = dst0.y - dst1.y;
  const double n = ux * ux + uy * uy;
  if (n == 0.0) return false;
  const double sv = (ux * vy - uy * vx) / n;
  double kv;
  // Strict comparison: on equal magnitudes the y equation is the pivot.
  if (std::fabs(ux) > std::fabs(uy)) {
    kv = (sv * uy + vx) / ux;
  } else {
    if (uy == 0.0) return false;
    kv = (vy - sv * ux) / uy;
  }
  *k = kv;
  *s = sv;
  return true;
}

TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1) {
  TM tm = TM::Identity();
  double k = 0.0;
  double s = 0.0;
  if (!SolveSimilarity(src0, src1, dst0, dst1, &k, &s)) return tm;
  tm.m11 = k;
  tm.m12 = s;
  tm.m21 = -s;
  tm.m22 = k;
  tm.dx = dst0.x - k * src0.x + s * src0.y;
  tm.dy = dst0.y - k * src0.y - s * src0.x;
  return tm;
}

bool AffineSourceDiffs(NewWorldPt s0, NewWorldPt s1, NewWorldPt s2, AffineRows* rows) {
  AffineRows r{};
  r.a1 = s0.x - s1.x;
  r.b1 = s0.y - s1.y;
  r.a2 = s0.x - s2.x;
  r.b2 = s0.y - s2.y;
  r.a3 = s1.x - s2.x;
  r.b3 = s1.y - s2.y;
  r.det = r.a1 * r.b2 - r.b1 * r.a2;
  if (r.det == 0.0) return false;
  *rows = r;
  return true;
}

// The pivot is the equation whose source difference is largest; strict comparisons make the
// later candidate win on equal magnitudes.
bool SolveAffineXRow(const AffineRows& r, double d0, double d1, double d2, double* A, double* C) {
  const double p1 = d0 - d1;
  const double p2 = d0 - d2;
  const double p3 = d1 - d2;
  const double c = (r.a1 * p2 - r.a2 * p1) / r.det;
  double a;
  if (std::fabs(r.a1) > std::fabs(r.a2) && std::fabs(r.a1) > std::fabs(r.a3)) {
    a = (p1 - c * r.b1) / r.a1;
  } else if (std::fabs(r.a2) > std::fabs(r.a3)) {
    a = (p2 - c * r.b2) / r.a2;
  } else {
    if (r.a3 == 0.0) return false;
    a = (p3 - c * r.b3) / r.a3;
  }
  *A = a;
  *C = c;
  return true;
}

bool SolveAffineYRow(const AffineRows& r, double d0, double d1, double d2, double* B, double* E) {
  const double q1 = d0 - d1;
  const double q2 = d0 - d2;
  const double q3 = d1 - d2;
  const double b = (r.b2 * q1 - r.b1 * q2) / r.det;
  double e;
  if (std::fabs(r.b1) > std::fabs(r.b2) && std::fabs(r.b1) > std::fabs(r.b3)) {
    e = (q1 - b * r.a1) / r.b1;
  } else if (std::fabs(r.b2) > std::fabs(r.b3)) {
    e = (q2 - b * r.a2) / r.b2;
  } else {
    if (r.b3 == 0.0) return false;
    e = (q3 - b * r.a3) / r.b3;
  }
  *B = b;
  *E = e;
  return true;
}

TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt src2, NewWorldPt dst0, NewWorldPt dst1,
         NewWorldPt dst2) {
  TM tm = TM::Identity();
  AffineRows rows{};
  if (!AffineSourceDiffs(src0, src1, src2, &rows)) return tm;
  double A = 0.0, C = 0.0, B = 0.0, E = 0.0;
  if (!SolveAffineXRow(rows, dst0.x, dst1.x, dst2.x, &A, &C)) return tm;
  if (!SolveAffineYRow(rows, dst0.y, dst1.y, dst2.y, &B, &E)) return tm;
  tm.m11 = A;
  tm.m12 = B;
  tm.m21 = C;
  tm.m22 = E;
  tm.dx = dst0.x - A * src0.x - C * src0.y;
  tm.dy = dst0.y - E * src0.y - B * src0.x;
  return tm;
}

bool GetRealPoint(int count, NewWorldPt ref, NewWorldPt* out, const NewWorldPt (&refPts)[3],
                  const NewWorldPt (&foundPts)[3]) {
  TM tm = TM::Identity();
  switch (count) {
    case 1:
      tm = GetTM(refPts[0], foundPts[0]);
      break;
    case 2:
      tm = GetTM(refPts[0], refPts[1], foundPts[0], foundPts[1]);
      break;
    case 3:
      tm = GetTM(refPts[0], refPts[1], refPts[2], foundPts[0], foundPts[1], foundPts[2]);
      break;
    default:
      break;
  }
  *out = tm.Map(ref);
  return true;
}

bool CalcPointTM(const TM& tm, long* x, long* y) {
  const double px = static_cast<double>(*x);
  const double py = static_cast<double>(*y);
  *x = Trunc(tm.m11 * px + tm.m21 * py + tm.dx);
  *y = Trunc(tm.m12 * px + tm.m22 * py + tm.dy);
  return true;
}

bool TransformPlausible(const TM& tm, double scaleTolerance, double shearDegrees) {
  const double sx = std::hypot(tm.m11, tm.m12);
  const double sy = std::hypot(tm.m21, tm.m22);
  if (!(std::fabs(sx - 1.0) <= scaleTolerance && std::fabs(sy - 1.0) <= scaleTolerance))
    return false;
  // A mirror image is no print of the document, however square.
  if (tm.m11 * tm.m22 - tm.m12 * tm.m21 <= 0) return false;
  // The angle between the mapped axes departs from a right angle by the shear.
  const double cosAxes = (tm.m11 * tm.m21 + tm.m12 * tm.m22) / (sx * sy);
  return std::fabs(std::asin(std::clamp(cosAxes, -1.0, 1.0))) <=
         shearDegrees * std::numbers::pi / 180.0;
}

}  // namespace kx
