// The embedded host's cutting: the paths of a list become travel and cut moves of the cutter.
// Threads: bound to the thread of the window that cuts.
#pragma once

#include "common/TM.h"
#include "embedded/Document.h"
#include "host/ObjectList.h"

namespace kx {

// Sends the paths of the list (other kinds and unknown handles are skipped) to the installed
// cutter driver with sendxyNoW: for each subpath a travel move (mode 0) to its start, then a cut
// move (mode 1) to each further point, arcs flattened within kArcTolerance. Document units become
// cutter units as doc / 0.00254 truncated toward zero; negative targets are clamped to 0, and a
// cut to the point just reached is left out. tm, when not null, is applied first (the objects
// are not changed). Returns the number of moves sent, at once: it does not wait for the head;
// -1 when the driver refused a move (none installed, or it failed): the moves after it are not
// sent.
int CutSection(const Document& document, const CQvSimpleList<uint64>& list, const TM* tm);

}  // namespace kx
