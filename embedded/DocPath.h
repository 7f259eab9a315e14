// Path geometry of the document: line and arc segments, their bounds, transforms and flattening.
// Threads: reentrant.
#pragma once

#include <vector>

#include "common/Bounds.h"
#include "common/TM.h"
#include "common/Units.h"
#include "host/HostObjects.h"

namespace kx {

// Arcs are cut as chords that stray at most this far from the arc: half a cutter unit, in
// document units.
inline constexpr double kArcTolerance = 0.5 * kDocPerCutter;

// One segment of a path, document units, y up. A line runs from start to end. An arc is the
// elliptic arc centre + u·cos t + v·sin t for t from t0 to t1 (radians); a circular arc has u and v
// perpendicular and of equal length, and an affine transform keeps the form exact.
struct PathSegment {
  bool arc = false;
  NewWorldPt start;
  NewWorldPt end;
  NewWorldPt centre;
  NewWorldPt u;
  NewWorldPt v;
  double t0 = 0.0;
  double t1 = 0.0;

  static PathSegment Line(NewWorldPt from, NewWorldPt to);
  // A circular arc of the given radius from startDeg sweeping sweepDeg degrees (positive is
  // counter-clockwise).
  static PathSegment Arc(NewWorldPt centre, double radius, double startDeg, double sweepDeg);

  NewWorldPt Start() const;
  NewWorldPt End() const;
  NewWorldPt ArcPoint(double t) const;
  void Transform(const TM& tm);
  BOUNDS Bounds() const;
  bool operator==(const PathSegment&) const = default;
};

// The corners of a closed rectangle from (x0, y0) to (x1, y1) as four lines, counter-clockwise.
std::vector<PathSegment> RectanglePath(double x0, double y0, double x1, double y1);

// Bounds covering every segment; a zeroed record for no segments.
BOUNDS PathBounds(const std::vector<PathSegment>& segments);

// The path as subpaths of points: a segment that does not start where the previous one ended
// begins a new subpath. Arcs become chords within tolerance (document units).
std::vector<std::vector<POLYPOINT>> FlattenPath(const std::vector<PathSegment>& segments,
                                                double tolerance = kArcTolerance);

// Grows b (a valid record when first is false) to cover p.
void GrowBounds(BOUNDS& b, NewWorldPt p, bool& first);

}  // namespace kx
