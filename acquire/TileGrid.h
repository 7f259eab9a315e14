// The arithmetic of the acquisition grid: tile head positions, Start/End spans and click moves.
// Threads: reentrant.
#pragma once

#include "platform/WinDefs.h"

namespace kx {

// The grid End makes from the start corner and the head, cutter units, with scale cutter units a
// camera pixel: enough 480 x 640-pixel tiles that a tile centre lies on or beyond the far corner,
// anchored at the lower-left corner, whose tile is the origin (column 0, bottom row).
struct GridSpan {
  int cols = 1;
  int rows = 1;
  int originCol = 0;
  int originRow = 0;
  POINT head{0, 0};
};
GridSpan SpanGrid(POINT start, POINT head, double scale);

// The head position for the tile of column c and row r (row 0 on top) of a grid whose tile
// (originCol, originRow) is centred on head; a negative coordinate is taken as 0.
POINT TileTarget(POINT head, int c, int r, int originCol, int originRow, double scale);

// The head target of a click at point (screen coordinates) into a live view with window
// rectangle view: the clicked point comes under the crosshair; Ctrl moves twice as far, Ctrl and
// Shift four times. A negative coordinate is taken as 0.
POINT ClickTarget(POINT head, POINT point, const RECT& view, UINT keyFlags, double scale);

}  // namespace kx
