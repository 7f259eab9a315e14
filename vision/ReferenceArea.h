// Where a mark's reference area lies in the reference image, and how it is previewed.
// Threads: reentrant.
#pragma once

#include <opencv2/core.hpp>

namespace kx {

// Bitmap pixels (rows from the top) of the image object's top-left corner (ox, oy) and of the
// mark's low corner (ax0, ay0) and high corner (ax1, ay1), in a bitmap of height H. Returns the
// reference area as a region of the image: corners and size rounded down to even.
cv::Rect ReferenceArea(int ox, int oy, int ax0, int ay0, int ax1, int ay1, int H);

// The reference position of the area's centre in cutter units, measured from the reference
// image's lower-left corner with y up: ((x + w/2) * scale, (H - y - h/2) * scale).
cv::Point2d ReferenceCentre(const cv::Rect& area, int H, double scale);
// The same with the cutter units a pixel spans along x and along y.
cv::Point2d ReferenceCentre(const cv::Rect& area, int H, cv::Point2d unitsPerPixel);

// The integer factor a preview of `area` size is shrunk by to fit a control first laid out at
// `client` size: max(w div cw, h div ch) + 1, at least 1.
int PreviewFactor(cv::Size area, cv::Size client);

// The preview picture: the area resized bilinearly to `size` with green centre lines.
cv::Mat RenderPreview(const cv::Mat& area, cv::Size size);

}  // namespace kx
