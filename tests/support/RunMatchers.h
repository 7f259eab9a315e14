// Matchers for what a run leaves behind, with the tolerances the end-to-end runs hold it to.
#pragma once

#include <gmock/gmock.h>

#include <cmath>
#include <ostream>
#include <string>

#include "common/Units.h"
#include "scenario/RunScript.h"

namespace kx {

// How a failing test shows a copy: "copy 3 at column 1, row 0".
inline void PrintTo(const CopyRecord& copy, std::ostream* os) {
  *os << "copy " << copy.copy << " at column " << copy.column << ", row " << copy.row;
}

namespace test {

// A registered copy's cut lies less than this from its printed contour, millimetres.
inline constexpr double kRunToleranceMm = 0.25;
// A run that ends at the origin leaves the head at most this far from (0, 0), cutter units.
inline constexpr double kHomeToleranceUnits = 3.0;

// Millimetres in a cutter unit (document units are centimetres).
inline constexpr double kMmPerCutterUnit = 10 * kDocPerCutter;

// A CopyRecord of a copy that was cut (knife points were scored) with every scored point less
// than mm from the printed contour of the copy it belongs to.
MATCHER_P(CutWithin, mm,
          std::string(negation ? "is not" : "is") + " a copy cut less than " +
              ::testing::PrintToString(mm) + " mm from its printed contour") {
  const CutScore& s = arg.score;
  if (s.points == 0) {
    *result_listener << "nothing of it was cut";
    return false;
  }
  *result_listener << "cut up to " << s.maxError * kMmPerCutterUnit << " mm (" << s.maxError
                   << " units) off its contour, rms " << s.rmsError * kMmPerCutterUnit
                   << " mm, over " << s.points << " knife points";
  return s.maxError < mm / kMmPerCutterUnit;
}

// A head position (cutter units) at most units from the origin.
MATCHER_P(HeadAtOrigin, units,
          std::string(negation ? "is not" : "is") + " a head position within " +
              ::testing::PrintToString(units) + " cutter units of the origin") {
  const double distance = std::hypot(arg.x, arg.y);
  *result_listener << distance << " units from the origin";
  return distance <= units;
}

}  // namespace test
}  // namespace kx
