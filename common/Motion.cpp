// How long a head move takes and how far it has gone.
#include "common/Motion.h"

#include <algorithm>
#include <cmath>

namespace kx {

double MoveDuration(double d, double v, double a) {
  if (d <= 0) return 0;
  if (a <= 0) return d / v;
  const double ta = v / a;
  const double da = 0.5 * a * ta * ta;
  if (2 * da >= d) return 2 * std::sqrt(d / a);
  return 2 * ta + (d - 2 * da) / v;
}

double Travelled(double d, double v, double a, double total, double t) {
  if (t <= 0 || d <= 0) return 0;
  if (t >= total) return d;
  if (a <= 0) return v * t;
  const double ta = std::min(v / a, total / 2);
  if (t < ta) return 0.5 * a * t * t;
  if (t > total - ta) return d - 0.5 * a * (total - t) * (total - t);
  return 0.5 * a * ta * ta + a * ta * (t - ta);
}

}  // namespace kx
