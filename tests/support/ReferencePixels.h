// Where a simulated job's marks lie in its reference bitmap. Header-only: needs kxsim's headers.
#pragma once

#include <cstddef>

#include <opencv2/core.hpp>

#include "common/Units.h"
#include "sim/JobDescription.h"

namespace kx::test {

// Mark `mark`'s area in job.reference, pixels from the top-left corner, truncated.
inline cv::Rect MarkPixels(const JobDescription& job, int mark) {
  const cv::Rect2d& m = job.marks[static_cast<std::size_t>(mark)];
  const double pxPerDoc = job.reference.cols / job.referenceWidth;
  const double top = job.referenceOrigin.y + job.referenceHeight - m.y - m.height;
  return cv::Rect(TruncInt((m.x - job.referenceOrigin.x) * pxPerDoc), TruncInt(top * pxPerDoc),
                  TruncInt(m.width * pxPerDoc), TruncInt(m.height * pxPerDoc));
}

}  // namespace kx::test
