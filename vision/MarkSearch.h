// Where the head steps while a registration mark is searched for, when the search gives up, and
// when a found mark counts as centred.
// Threads: reentrant.
#pragma once

#include <opencv2/core.hpp>

namespace kx {

// A head move relative to where the head stands, cutter units.
struct HeadStep {
  long dx = 0;
  long dy = 0;
  friend bool operator==(const HeadStep&, const HeadStep&) = default;
};

// A found mark is centred when its offset from the camera centre, (x, y) in cutter units, is at
// most maxErr on both axes.
bool MarkCentred(long x, long y, int maxErr);

// The first mark of a copy, searched from where the head stands: while it is not found the head
// steps half a reference area along the direction the copies follow each other, (stepX, stepY)
// = (1, 0) or (0, 1), signed by the row's direction dir (+1 or -1). area: the reference area in
// camera pixels; scale: cutter units per camera pixel. Products in doubles, truncated toward 0.
HeadStep FirstMarkStep(cv::Size area, double scale, int dir, int stepX, int stepY);

// A later mark, searched from its predicted position: the stepping move after `count` (0 to 3)
// earlier ones: half an area up (y signed by dir), a whole area down, half an area right and
// half up, a whole area left and half up. No move for any other count. Same units and
// truncation as FirstMarkStep.
HeadStep LaterMarkStep(int count, cv::Size area, double scale, int dir);

// What a mark search counts towards giving up, and at which count it gives up.
struct MarkSearchLimit {
  int limit;
  // Every failed search counts, also one after a centring move (first mark); otherwise every
  // stepping move counts, whatever the search after it finds (later marks).
  bool countsFailedSearches;
};
// The first mark gives up after five failed searches, a later mark after four stepping moves.
inline constexpr MarkSearchLimit kFirstMarkLimit{5, true};
inline constexpr MarkSearchLimit kLaterMarkLimit{4, false};

// A mark that is found but not centred is followed by at most this many centring moves in one
// search; then the search gives up as one that does not find its mark. A behaving machine
// centres in one or two (the offset is measured in the frame and the move lands within a unit or
// two); a head that cannot get there (below the bed's origin, stalled beside the mark) would
// otherwise be sent after the mark for ever.
inline constexpr int kCentringLimit = 8;

// The count after one more turn of a search: the head stepped (`stepped`, the mark had not been
// found) or centred on the found mark, and the search after the move `found` it or not.
int NextSearchCount(const MarkSearchLimit& limit, int count, bool stepped, bool found);
// Whether a search that has reached `count` gives up.
bool SearchGivesUp(const MarkSearchLimit& limit, int count);

}  // namespace kx
