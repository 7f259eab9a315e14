// Which refinements of the registration run the "KestrixPrecision" device setting turns on.
// Threads: reentrant.
#pragma once

namespace kx {

// 0 runs as described; 1 turns every refinement on. Other values choose refinements one by one
// (a sum of the flags below), which is how each one's share of the cut error is measured.
struct PrecisionParts {
  // peaks refined to a fraction of a pixel, offsets rounded, the found marks kept to a fraction
  // of a unit and the cut path rounded to whole units instead of truncated (2)
  bool subPixel = false;
  bool truePosition = false;  // a mark recorded where the centred search saw it (4)
  bool predictCopy = false;   // the next copy predicted through the last copy's transform (8)
  bool sanityCheck = false;   // a copy whose transform is implausible is not cut (16)
  // the reference taken as the print lies: positions at the resampled reference bitmap's true
  // pixel size, not Scale, and (with 2 and 4) each copy's marks matched again with the reference
  // areas mapped through the copy's transform (32)
  bool referenceScale = false;
};

inline constexpr int kPrecisionAll = 1;
inline constexpr int kPrecisionSubPixel = 2;
inline constexpr int kPrecisionTruePosition = 4;
inline constexpr int kPrecisionPredictCopy = 8;
inline constexpr int kPrecisionSanityCheck = 16;
inline constexpr int kPrecisionReferenceScale = 32;

// The refinements a setting value turns on; negative values turn none on.
inline PrecisionParts PrecisionFromSetting(int value) {
  if (value <= 0) return {};
  const bool all = (value & kPrecisionAll) != 0;
  return {all || (value & kPrecisionSubPixel) != 0, all || (value & kPrecisionTruePosition) != 0,
          all || (value & kPrecisionPredictCopy) != 0, all || (value & kPrecisionSanityCheck) != 0,
          all || (value & kPrecisionReferenceScale) != 0};
}

}  // namespace kx
