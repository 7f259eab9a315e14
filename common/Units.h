// Units of the cutter and the document, and the integer conventions every computation follows.
// Threads: reentrant.
#pragma once

#include <cmath>

namespace kx {

// A value in document units is the value in cutter units times this factor.
inline constexpr double kDocPerCutter = 0.00254;

constexpr double CutterToDoc(double cutter) { return cutter * kDocPerCutter; }
constexpr double DocToCutter(double doc) { return doc / kDocPerCutter; }

// Doubles become integers by truncation toward zero, never by rounding.
constexpr long Trunc(double v) { return static_cast<long>(v); }
constexpr int TruncInt(double v) { return static_cast<int>(v); }

// Half of a size is the integer half, truncated toward zero (-5 / 2 is -2).
constexpr int Half(int v) { return v / 2; }
constexpr long Half(long v) { return v / 2; }

// Clears the lowest bit: rounds a non-negative pixel value down to even.
constexpr int Even(int v) { return v & ~1; }

}  // namespace kx
