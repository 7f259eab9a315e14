// The job for a simulated world as a plain description.
#include "sim/JobDescription.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "common/Units.h"

namespace kx {

JobDescription MakeJob(const World& world) {
  JobDescription job;
  const Artwork& art = world.Art();
  const double scale = world.Options().camera.scale;
  const int w = static_cast<int>(std::lround(art.Width() / scale));
  const int h = static_cast<int>(std::lround(art.Height() / scale));
  // Pixel centres sit half a pixel in from the bitmap's edges.
  cv::Mat raster(h, w, CV_8UC3);
  const double res = art.Width() / w;
  art.Render(res, 0, 0, raster, 0.5);
  cv::GaussianBlur(raster, job.reference, cv::Size(0, 0), 0.6);

  job.referenceOrigin = world.DocOrigin();
  job.referenceWidth = art.Width() * kDocPerCutter;
  job.referenceHeight = art.Height() * kDocPerCutter;
  for (int i = 0; i < 3; ++i) {
    const cv::Rect2d& a = art.CornerAreas()[static_cast<std::size_t>(i)];
    const cv::Point2d ll = world.DocFromArtwork(a.tl());
    job.marks[static_cast<std::size_t>(i)] =
        cv::Rect2d(ll.x, ll.y, a.width * kDocPerCutter, a.height * kDocPerCutter);
  }
  for (CutPath p : art.CutPaths()) {
    p.centre = world.DocFromArtwork(p.centre);
    p.radius *= kDocPerCutter;
    for (cv::Point2d& q : p.points) q = world.DocFromArtwork(q);
    job.cutPaths.push_back(p);
  }
  return job;
}

}  // namespace kx
