// The host's two-dimensional affine transformation and its point type.
// Threads: reentrant.
#pragma once

// A point of the host document or of the cutter, x then y.
struct NewWorldPt {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const NewWorldPt&) const = default;
};

// Maps (x, y) to (m11*x + m21*y + dx, m12*x + m22*y + dy). Value-initialised it is all zeros;
// use Identity() for the identity.
struct TM {
  double m11 = 0.0;
  double m12 = 0.0;
  double m21 = 0.0;
  double m22 = 0.0;
  double dx = 0.0;
  double dy = 0.0;

  static constexpr TM Identity() { return TM{1.0, 0.0, 0.0, 1.0, 0.0, 0.0}; }
  static constexpr TM Translation(double tx, double ty) { return TM{1.0, 0.0, 0.0, 1.0, tx, ty}; }

  // The image of p, evaluated in the order the definition above gives.
  constexpr NewWorldPt Map(NewWorldPt p) const {
    return NewWorldPt{m11 * p.x + m21 * p.y + dx, m12 * p.x + m22 * p.y + dy};
  }

  bool operator==(const TM&) const = default;
};
