// Path geometry of the document: line and arc segments, their bounds, transforms and flattening.
#include "embedded/DocPath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kx {
namespace {

constexpr double kJoinEpsilon = 1e-9;
constexpr int kMaxChords = 100000;

NewWorldPt Linear(const TM& tm, NewWorldPt d) {
  return NewWorldPt{tm.m11 * d.x + tm.m21 * d.y, tm.m12 * d.x + tm.m22 * d.y};
}

double Length(NewWorldPt d) { return std::hypot(d.x, d.y); }

// Parameters in [lo, hi] where a + b·... c·cos t + s·sin t is extreme: t = atan2(s, c) + kπ.
void AddExtremes(double c, double s, double lo, double hi, std::vector<double>& ts) {
  if (c == 0.0 && s == 0.0) return;
  const double base = std::atan2(s, c);
  const double k0 = std::ceil((lo - base) / std::numbers::pi);
  const double k1 = std::floor((hi - base) / std::numbers::pi);
  for (double k = k0; k <= k1; k += 1.0) ts.push_back(base + k * std::numbers::pi);
}

}  // namespace

void GrowBounds(BOUNDS& b, NewWorldPt p, bool& first) {
  if (first) {
    b = BOUNDS{p.x, p.x, p.y, p.y, 0.0};
    first = false;
    return;
  }
  b.minX = std::min(b.minX, p.x);
  b.maxX = std::max(b.maxX, p.x);
  b.minY = std::min(b.minY, p.y);
  b.maxY = std::max(b.maxY, p.y);
}

PathSegment PathSegment::Line(NewWorldPt from, NewWorldPt to) {
  PathSegment s;
  s.start = from;
  s.end = to;
  return s;
}

PathSegment PathSegment::Arc(NewWorldPt centre, double radius, double startDeg, double sweepDeg) {
  PathSegment s;
  s.arc = true;
  s.centre = centre;
  s.u = NewWorldPt{radius, 0.0};
  s.v = NewWorldPt{0.0, radius};
  s.t0 = startDeg * std::numbers::pi / 180.0;
  s.t1 = (startDeg + sweepDeg) * std::numbers::pi / 180.0;
  s.start = s.ArcPoint(s.t0);
  s.end = s.ArcPoint(s.t1);
  return s;
}

NewWorldPt PathSegment::ArcPoint(double t) const {
  return NewWorldPt{centre.x + u.x * std::cos(t) + v.x * std::sin(t),
                    centre.y + u.y * std::cos(t) + v.y * std::sin(t)};
}

NewWorldPt PathSegment::Start() const { return start; }
NewWorldPt PathSegment::End() const { return end; }

void PathSegment::Transform(const TM& tm) {
  start = tm.Map(start);
  end = tm.Map(end);
  if (arc) {
    centre = tm.Map(centre);
    u = Linear(tm, u);
    v = Linear(tm, v);
  }
}

BOUNDS PathSegment::Bounds() const {
  BOUNDS b;
  bool first = true;
  GrowBounds(b, start, first);
  GrowBounds(b, end, first);
  if (arc) {
    std::vector<double> ts;
    const double lo = std::min(t0, t1);
    const double hi = std::max(t0, t1);
    AddExtremes(u.x, v.x, lo, hi, ts);
    AddExtremes(u.y, v.y, lo, hi, ts);
    for (double t : ts) GrowBounds(b, ArcPoint(t), first);
  }
  return b;
}

std::vector<PathSegment> RectanglePath(double x0, double y0, double x1, double y1) {
  const NewWorldPt a{x0, y0}, b{x1, y0}, c{x1, y1}, d{x0, y1};
  return {PathSegment::Line(a, b), PathSegment::Line(b, c), PathSegment::Line(c, d),
          PathSegment::Line(d, a)};
}

BOUNDS PathBounds(const std::vector<PathSegment>& segments) {
  BOUNDS b;
  bool first = true;
  for (const PathSegment& s : segments) {
    const BOUNDS one = s.Bounds();
    GrowBounds(b, NewWorldPt{one.minX, one.minY}, first);
    GrowBounds(b, NewWorldPt{one.maxX, one.maxY}, first);
  }
  return b;
}

std::vector<std::vector<POLYPOINT>> FlattenPath(const std::vector<PathSegment>& segments,
                                                double tolerance) {
  std::vector<std::vector<POLYPOINT>> subpaths;
  NewWorldPt last;
  for (const PathSegment& s : segments) {
    const NewWorldPt from = s.Start();
    if (subpaths.empty() || Length({from.x - last.x, from.y - last.y}) > kJoinEpsilon)
      subpaths.push_back({POLYPOINT{from.x, from.y}});
    std::vector<POLYPOINT>& points = subpaths.back();
    if (!s.arc) {
      points.push_back(POLYPOINT{s.end.x, s.end.y});
    } else {
      // A chord of angle a on radius r strays r(1 - cos(a/2)) from the arc; the larger axis
      // bounds the error of an elliptic arc.
      const double r = std::max(Length(s.u), Length(s.v));
      const double sweep = std::abs(s.t1 - s.t0);
      int n = 1;
      if (r > tolerance && sweep > 0.0) {
        const double step = 2.0 * std::acos(1.0 - tolerance / r);
        n = static_cast<int>(std::clamp(std::ceil(sweep / step), 1.0, double{kMaxChords}));
      }
      for (int i = 1; i < n; ++i) {
        const NewWorldPt p = s.ArcPoint(s.t0 + (s.t1 - s.t0) * i / n);
        points.push_back(POLYPOINT{p.x, p.y, 1.0});
      }
      points.push_back(POLYPOINT{s.end.x, s.end.y, 1.0});
    }
    last = s.End();
  }
  return subpaths;
}

}  // namespace kx
