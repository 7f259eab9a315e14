// The host's bounding box of an object or a list, in document units with y upward.
// Threads: reentrant.
#pragma once

// Field order is the host's: minimum x, maximum x, minimum y, maximum y, then a field nobody
// reads. Callers zero the record before a query (value-initialisation does that).
struct BOUNDS {
  double minX = 0.0;
  double maxX = 0.0;
  double minY = 0.0;
  double maxY = 0.0;
  double reserved = 0.0;

  double Width() const { return maxX - minX; }
  double Height() const { return maxY - minY; }
  bool operator==(const BOUNDS&) const = default;
};
