// The embedded host's cutting: the paths of a list become travel and cut moves of the cutter.
#include "embedded/CutMachine.h"

#include <algorithm>

#include "common/Units.h"
#include "host/CutterDriver.h"

namespace kx {

int CutSection(const Document& document, const CQvSimpleList<uint64>& list, const TM* tm) {
  int moves = 0;
  for (uint64 h : list.Items()) {
    const DocObject* object = document.Find(h);
    if (!object || object->kind != ObjectKind::Path) continue;
    std::vector<PathSegment> segments = object->segments;
    if (tm)
      for (PathSegment& s : segments) s.Transform(*tm);
    for (const std::vector<POLYPOINT>& subpath : FlattenPath(segments)) {
      long lastX = -1;
      long lastY = -1;
      for (std::size_t i = 0; i < subpath.size(); ++i) {
        const long x = std::max(0L, Trunc(DocToCutter(subpath[i].x)));
        const long y = std::max(0L, Trunc(DocToCutter(subpath[i].y)));
        if (i > 0 && x == lastX && y == lastY) continue;
        if (sendxyNoW(x, y, i == 0 ? kMoveTravel : kMoveCut) == 0) return -1;
        ++moves;
        lastX = x;
        lastY = y;
      }
    }
  }
  return moves;
}

}  // namespace kx
