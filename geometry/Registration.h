// Registration transforms estimated from one, two or three point pairs, and prediction with them.
// Threads: reentrant.
#pragma once

#include "common/TM.h"

namespace kx {

// Translation taking src onto dst.
TM GetTM(NewWorldPt src, NewWorldPt dst);

// Similarity (rotation, uniform scale, translation) taking src0 onto dst0 and the direction
// src0->src1 onto dst0->dst1. Coincident sources (or a zero pivot) give the identity.
TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1);

// Affine transform taking the three sources onto the three destinations. Collinear or
// coincident sources, or a zero pivot, give the identity.
TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt src2, NewWorldPt dst0, NewWorldPt dst1,
         NewWorldPt dst2);

// Where ref is expected to be found, given the marks found so far: count 1 predicts with the
// translation ref[0]->found[0], 2 with the similarity of the first two pairs, 3 with the affine
// transform of all three; any other count with the identity. Always true.
bool GetRealPoint(int count, NewWorldPt ref, NewWorldPt* out, const NewWorldPt (&refPts)[3],
                  const NewWorldPt (&foundPts)[3]);

// Whether tm (reference -> found, both in cutter units) is a plausible print of the document:
// each axis scaled by 1 within scaleTolerance (0.02 for 2 %), the axes at right angles within
// shearDegrees, and not mirrored. Any rotation is plausible.
bool TransformPlausible(const TM& tm, double scaleTolerance, double shearDegrees);

// Maps the integer point (x, y) through tm in place, truncating each result toward zero.
bool CalcPointTM(const TM& tm, long* x, long* y);

// The affine fit's two rows, shared with the three-point calibration mapping. Each returns false
// on a degenerate input without writing its outputs.
struct AffineRows {
  double a1, b1, a2, b2, a3, b3, det;
};
bool AffineSourceDiffs(NewWorldPt s0, NewWorldPt s1, NewWorldPt s2, AffineRows* rows);
bool SolveAffineXRow(const AffineRows& r, double d0, double d1, double d2, double* A, double* C);
bool SolveAffineYRow(const AffineRows& r, double d0, double d1, double d2, double* B, double* E);

// The similarity's (k, s) pair: k = scale * cos, s = scale * sin. False when degenerate.
bool SolveSimilarity(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1, double* k,
                     double* s);

}  // namespace kx
