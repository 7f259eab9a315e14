// Where the head steps while a registration mark is searched for, and when the search ends.
#include "vision/MarkSearch.h"

#include <cstdlib>

#include "common/Units.h"

namespace kx {

bool MarkCentred(long x, long y, int maxErr) {
  return std::labs(x) <= maxErr && std::labs(y) <= maxErr;
}

HeadStep FirstMarkStep(cv::Size area, double scale, int dir, int stepX, int stepY) {
  return {Trunc(Half(area.width) * scale * dir * stepX),
          Trunc(Half(area.height) * scale * dir * stepY)};
}

HeadStep LaterMarkStep(int count, cv::Size area, double scale, int dir) {
  const int w = area.width;
  const int h = area.height;
  switch (count) {
    case 0:
      return {0, Trunc(Half(h) * scale * dir)};
    case 1:
      return {0, Trunc(-dir * h * scale)};
    case 2:
      return {Trunc(Half(w) * scale), Trunc(Half(h) * scale * dir)};
    case 3:
      return {Trunc(-w * scale), Trunc(Half(h) * scale * dir)};
    default:
      return {};
  }
}

int NextSearchCount(const MarkSearchLimit& limit, int count, bool stepped, bool found) {
  const bool counts = limit.countsFailedSearches ? !found : stepped;
  return counts ? count + 1 : count;
}

bool SearchGivesUp(const MarkSearchLimit& limit, int count) { return count >= limit.limit; }

}  // namespace kx
