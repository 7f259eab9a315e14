// The arithmetic of the acquisition grid: tile head positions, Start/End spans and click moves.
#include "acquire/TileGrid.h"

#include <algorithm>
#include <cstdlib>

#include "common/Units.h"

namespace kx {

GridSpan SpanGrid(POINT start, POINT head, double scale) {
  const long dX = std::labs(static_cast<long>(start.x) - head.x);
  const long dY = std::labs(static_cast<long>(start.y) - head.y);
  const double S = scale;
  GridSpan g;
  g.cols = 1 - TruncInt((480 * S + dX - 1.0) / (-480 * S));
  g.rows = 1 - TruncInt((640 * S + dY - 1.0) / (-640 * S));
  g.originCol = 0;
  g.originRow = g.rows - 1;
  g.head = POINT{std::min(start.x, head.x), std::min(start.y, head.y)};
  return g;
}

POINT TileTarget(POINT head, int c, int r, int originCol, int originRow, double scale) {
  long x = head.x + Trunc((c - originCol) * (scale * 480.0));
  if (x < 0) x = 0;
  long y = head.y - Trunc((r - originRow) * (scale * 640.0));
  if (y < 0) y = 0;
  return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

POINT ClickTarget(POINT head, POINT point, const RECT& view, UINT keyFlags, double scale) {
  int m = 1;
  if (keyFlags & MK_CONTROL) m = (keyFlags & MK_SHIFT) ? 4 : 2;
  const long cx = (view.left + view.right) / 2;
  const long cy = (view.top + view.bottom) / 2;
  long x = head.x + Trunc((point.x - cx) * (480.0 / (view.right - view.left)) * (m * scale));
  if (x < 0) x = 0;
  long y = head.y - Trunc((point.y - cy) * (640.0 / (view.bottom - view.top)) * (m * scale));
  if (y < 0) y = 0;
  return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

}  // namespace kx
