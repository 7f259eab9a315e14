// How long a head move takes and how far it has gone: top speed with optional acceleration.
// Threads: reentrant.
#pragma once

namespace kx {

// Seconds a straight move of length d (any unit) takes at top speed v (units a second) with
// acceleration a (units a second squared; 0 or less: full speed at once). Accelerates, cruises
// and brakes symmetrically; a move too short to reach v accelerates half-way and brakes.
double MoveDuration(double d, double v, double a);

// Distance covered t seconds into such a move whose duration is total (MoveDuration's result).
double Travelled(double d, double v, double a, double total, double t);

}  // namespace kx
