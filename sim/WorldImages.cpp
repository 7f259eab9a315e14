// Pictures of the simulated world for looking at.
#include "sim/WorldImages.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "common/Frame.h"

namespace kx {

cv::Mat RenderBed(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                  double unitsPerPixel) {
  const auto& o = world.Options();
  const double k = std::max(unitsPerPixel, 0.5);
  const int w = std::max(1, static_cast<int>(std::ceil(o.cutter.bedWidth / k)));
  const int h = std::max(1, static_cast<int>(std::ceil(o.cutter.bedHeight / k)));
  cv::Mat bed(h, w, CV_8UC3, cv::Scalar(58, 66, 60));
  const cv::Matx33d imageFromBed(1 / k, 0, 0, 0, -1 / k, o.cutter.bedHeight / k, 0, 0, 1);
  auto px = [&](cv::Point2d p) {
    const cv::Point2d q = Apply(imageFromBed, p);
    return cv::Point(static_cast<int>(std::lround(q.x * 16)),
                     static_cast<int>(std::lround(q.y * 16)));
  };

  std::vector<cv::Point> sheet;
  for (const cv::Point2d& p : world.SheetCorners()) sheet.push_back(px(p));
  if (const cv::Rect2d m = world.CalibrationMaterial(); !m.empty())
    cv::rectangle(bed, px(m.tl()), px(m.br()), Artwork::kPaper, cv::FILLED, cv::LINE_AA, 4);
  cv::fillConvexPoly(bed, sheet, Artwork::kPaper, cv::LINE_AA, 4);

  // The artwork once at a resolution near the picture's, then warped onto every copy.
  const Artwork& art = world.Art();
  const double res = k / 2;
  cv::Mat raster(static_cast<int>(std::ceil(art.Height() / res)) + 1,
                 static_cast<int>(std::ceil(art.Width() / res)) + 1, CV_8UC3);
  art.Render(res, 0, 0, raster);
  const cv::Matx33d artworkFromRaster(res, 0, 0, 0, -res, art.Height(), 0, 0, 1);
  for (const CopyPlacement& copy : world.Copies()) {
    const cv::Matx33d m = imageFromBed * copy.bedFromArtwork * artworkFromRaster;
    cv::warpAffine(raster, bed, cv::Matx23d(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2)),
                   bed.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
  }

  for (const BedSegment& s : cuts)
    cv::line(bed, px(s.a), px(s.b), cv::Scalar(0, 0, 230), 1, cv::LINE_AA, 4);

  // The camera's footprint and centre, the head and the line to the camera.
  std::vector<cv::Point> foot;
  for (cv::Point2d f : {cv::Point2d(0, 0), cv::Point2d(kFrameWidth, 0),
                        cv::Point2d(kFrameWidth, kFrameHeight), cv::Point2d(0, kFrameHeight)})
    foot.push_back(px(world.BedFromPixel(head, f)));
  cv::polylines(bed, std::vector<std::vector<cv::Point>>{foot}, true, cv::Scalar(220, 120, 0), 2,
                cv::LINE_AA, 4);
  const cv::Point hp = px(head), cp = px(world.CameraCentre(head));
  cv::line(bed, hp, cp, cv::Scalar(220, 120, 0), 1, cv::LINE_AA, 4);
  const int arm = 8 * 16;
  cv::line(bed, hp - cv::Point(arm, 0), hp + cv::Point(arm, 0), cv::Scalar(0, 200, 255), 2,
           cv::LINE_AA, 4);
  cv::line(bed, hp - cv::Point(0, arm), hp + cv::Point(0, arm), cv::Scalar(0, 200, 255), 2,
           cv::LINE_AA, 4);
  cv::circle(bed, cp, 3 * 16, cv::Scalar(220, 120, 0), cv::FILLED, cv::LINE_AA, 4);
  return bed;
}

bool SaveBedPng(const World& world, const std::vector<BedSegment>& cuts, cv::Point2d head,
                const std::string& path, double unitsPerPixel) {
  try {
    return cv::imwrite(path, RenderBed(world, cuts, head, unitsPerPixel));
  } catch (const cv::Exception&) {
    return false;
  }
}

bool SaveFramePng(const cv::Mat& frame, const std::string& path) {
  if (frame.empty()) return false;
  try {
    return cv::imwrite(path, frame);
  } catch (const cv::Exception&) {
    return false;
  }
}

}  // namespace kx
