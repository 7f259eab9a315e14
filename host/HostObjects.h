// What an object's element holds: the bitmap of a bitmap object or the points of a path.
// Threads: reentrant.
#pragma once

#include <vector>

#include "common/WinTypes.h"

class CQvBitmap;

// Element kinds; ELEMENT::item points at the record the kind names.
inline constexpr int kElementGeneric = 1;  // item is a GENERIC_ITEM (bitmap objects)
inline constexpr int kElementPolyArc = 2;  // item is a POLYARC (paths, welded paths)
inline constexpr int kElementArea = 3;     // item is null (registration marks)

// One point of a path as a 48-byte record: x and y in document units, then what the point is.
// kind is 0 for a point reached along a straight line, 1 for a point on a flattened arc; the
// remaining fields are zero.
struct POLYPOINT {
  double x = 0.0;
  double y = 0.0;
  double kind = 0.0;
  double reserved[3] = {0.0, 0.0, 0.0};
};
static_assert(sizeof(POLYPOINT) == 48);

// A path as subpaths of point records; arcs are flattened within the cutter's tolerance.
class POLYARC {
 public:
  int get_sp_count() const { return static_cast<int>(m_subpaths.size()); }
  // Number of point records of subpath sp (0 for an index out of range).
  int get_point_count(int sp) const {
    return ValidSp(sp) ? static_cast<int>(m_subpaths[static_cast<unsigned>(sp)].size()) : 0;
  }
  // The point records of subpath sp, get_point_count(sp) of them; null for an index out of range.
  const POLYPOINT* get_points(int sp) const {
    return ValidSp(sp) ? m_subpaths[static_cast<unsigned>(sp)].data() : nullptr;
  }

  std::vector<std::vector<POLYPOINT>>& Subpaths() { return m_subpaths; }
  const std::vector<std::vector<POLYPOINT>>& Subpaths() const { return m_subpaths; }

 private:
  bool ValidSp(int sp) const { return sp >= 0 && sp < get_sp_count(); }
  std::vector<std::vector<POLYPOINT>> m_subpaths;
};

// The item of a bitmap object's element: the object's bitmap, owned by the object.
struct GENERIC_ITEM {
  CQvBitmap* bitmap = nullptr;
};

// An object's element as DBGetObjectElement returns it. For a bitmap object
// static_cast<GENERIC_ITEM*>(element->item)->bitmap is its CQvBitmap; for a path
// static_cast<POLYARC*>(element->item) its points. The element stays valid, and is brought up to
// date in place, until the object is destroyed.
struct ELEMENT {
  int type = 0;
  void* item = nullptr;
};
