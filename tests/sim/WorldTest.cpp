// The simulated world: where the camera sees printed features and cuts, ground truth, scoring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "sim/World.h"

namespace kx::test {
namespace {

WorldOptions SmallWorld() {
  WorldOptions o;
  o.copies.columns = 2;
  o.copies.rows = 2;
  return o;
}

WorldOptions CleanCamera(WorldOptions o) {
  o.camera.noiseSigma = 0;
  o.camera.blurSigma = 0;
  o.camera.vignetting = 0;
  o.camera.lightGradient = 0;
  return o;
}

// Centroid of the pixels close to colour, in frame pixels.
cv::Point2d Centroid(const cv::Mat& frame, cv::Scalar colour, double tolerance = 40) {
  cv::Mat mask;
  cv::inRange(frame, colour - cv::Scalar::all(tolerance), colour + cv::Scalar::all(tolerance),
              mask);
  const cv::Moments m = cv::moments(mask, true);
  return m.m00 > 0 ? cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) : cv::Point2d(-1, -1);
}

// The dark dot of the lower-left corner feature: small enough to lie wholly in the frame.
const ArtShape& CornerDot(const Artwork& art) {
  for (const ArtShape& s : art.Shapes())
    if (s.kind == ShapeKind::Circle && !s.cut) return s;
  throw std::runtime_error("no corner dot");
}

TEST(World, PrintedFeatureAppearsWhereScaleAndOffsetPutIt) {
  WorldOptions o = CleanCamera(SmallWorld());
  o.seed = 3;
  o.camera.scale = 1.9;
  o.copies.jitter = 40;
  o.copies.jitterRotation = 0.3;
  const World world(o);
  const ArtShape& circle = CornerDot(world.Art());
  const cv::Point2d bed = world.BedFromArtwork(3, circle.centre);
  // Put the circle 60 pixels right of and 100 pixels above the frame centre.
  const cv::Point2d camera = bed - cv::Point2d(60 * o.camera.scale, 100 * o.camera.scale);
  const cv::Point2d head = camera - cv::Point2d(o.camera.offsetX, o.camera.offsetY);
  const cv::Point2d c = Centroid(world.RenderFrame(head, {}, 0), circle.colour);
  EXPECT_NEAR(c.x, 240 + 60, 0.3);
  EXPECT_NEAR(c.y, 320 - 100, 0.3);
}

TEST(World, PaperAndCutsFarBeyondTheFrameAreStillDrawnRight) {
  // The largest bed and the finest camera allowed, on a roll: the sheet's corners and a cut across
  // the whole bed lie millions of pixels outside the frame.
  WorldOptions o = CleanCamera(WorldOptions{});
  o.copies.layout = "roll";
  o.copies.rollAxis = "x";
  o.copies.columns = 1;
  o.copies.rows = 1;
  o.copies.width = o.copies.height = 2000;
  o.copies.pitchX = o.copies.pitchY = 3000;
  o.copies.jitter = 0;
  o.cutter.bedWidth = 2000000;
  o.cutter.bedHeight = 10000;
  o.camera.scale = 0.2;
  ASSERT_EQ(ValidateWorldOptions(o), "");
  const World world(o);
  // Blank paper 250 units below the copy.
  const cv::Point2d bed = world.BedFromArtwork(0, {1000, -250});
  const cv::Point2d head = world.HeadForCameraAt(bed);
  const cv::Vec3b paper(static_cast<uchar>(Artwork::kPaper[0]),
                        static_cast<uchar>(Artwork::kPaper[1]),
                        static_cast<uchar>(Artwork::kPaper[2]));
  const cv::Mat blank = world.RenderFrame(head, {}, 0);
  EXPECT_EQ(blank.at<cv::Vec3b>(kFrameHeight / 2, kFrameWidth / 2), paper);
  EXPECT_EQ(blank.at<cv::Vec3b>(10, 10), paper);

  const std::vector<BedSegment> cut = {{cv::Point2d(-1000000, bed.y), cv::Point2d(3000000, bed.y)}};
  const cv::Mat withCut = world.RenderFrame(head, cut, 0);
  const cv::Vec3b centre = withCut.at<cv::Vec3b>(kFrameHeight / 2, kFrameWidth / 2);
  EXPECT_LT(centre[0], 60) << centre;
  EXPECT_LT(centre[1], 60) << centre;
  EXPECT_EQ(withCut.at<cv::Vec3b>(kFrameHeight / 2 - 60, kFrameWidth / 2), paper);
}

TEST(World, GroundTruthFollowsSheetPlacementAndDocument) {
  WorldOptions o = SmallWorld();
  o.copies.jitter = 0;
  o.copies.jitterRotation = 0;
  o.sheet.rotation = 90;
  o.sheet.scaleX = 1.0;
  o.sheet.scaleY = 1.0;
  o.sheet.shear = 0;
  o.sheet.offsetX = 30000;
  o.sheet.offsetY = 1000;
  o.sheet.margin = 500;
  const World world(o);
  // Copy 1 is one pitch along the sheet's x, which a quarter turn lays along the bed's y.
  const cv::Point2d doc = world.DocOrigin() + cv::Point2d(100, 50) * kDocPerCutter;
  const cv::Point2d bed = world.BedFromDoc(1, doc);
  EXPECT_NEAR(bed.x, 30000 - (500 + 50), 1e-6);
  EXPECT_NEAR(bed.y, 1000 + 500 + o.copies.pitchX + 100, 1e-6);
  EXPECT_EQ(world.Copies()[1].column, 1);
  EXPECT_EQ(world.Copies()[2].row, 1);
}

// The largest error is the distance of the worst knife point from the nearest piece of the
// contour, wherever that piece lies: checked against every piece, near the contour and far off.
TEST(World, ScoreAgreesWithTheNearestOfAllContourPieces) {
  const World world(SmallWorld());
  const auto contours = world.TrueContours(1, 2.0);
  std::vector<BedSegment> exact;
  for (const auto& line : contours)
    for (std::size_t i = 0; i + 1 < line.size(); ++i) exact.push_back({line[i], line[i + 1]});
  const CutScore along = world.ScoreCut(1, exact);
  EXPECT_GT(along.points, 1000u) << "every segment is sampled along its length";
  EXPECT_LT(along.maxError, 0.1);
  EXPECT_GT(world.ScoreCut(2, exact).rmsError, 1000.0) << "cut on the neighbouring copy";
  auto nearest = [&](cv::Point2d p) {
    double best = 1e300;
    for (const auto& line : contours)
      for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const cv::Point2d d = line[i + 1] - line[i];
        const double t = std::clamp((p - line[i]).dot(d) / std::max(d.dot(d), 1e-300), 0.0, 1.0);
        best = std::min(best, cv::norm(line[i] + d * t - p));
      }
    return best;
  };
  cv::RNG rng(7);
  const cv::Rect2d box = world.Copies()[1].bedBounds;
  for (int k = 0; k < 200; ++k) {
    // Single points (a segment of length 0), inside the copy and up to a copy's size beyond it.
    const cv::Point2d p(rng.uniform(box.x - box.width, box.br().x + box.width),
                        rng.uniform(box.y - box.height, box.br().y + box.height));
    const CutScore s = world.ScoreCut(1, {{p, p}});
    ASSERT_EQ(s.points, 2u);
    EXPECT_NEAR(s.maxError, nearest(p), 1e-9) << "at " << p;
  }
}

TEST(World, ReplicatedPixelsAreTheNearestPixelResize) {
  for (const cv::Size size : {cv::Size(120, 160), cv::Size(7, 5), cv::Size(1, 1)}) {
    for (const int factor : {1, 3, 4}) {
      cv::Mat small(size, CV_8UC3);
      cv::randu(small, 0, 256);
      cv::Mat expected;
      cv::resize(small, expected, size * factor, 0, 0, cv::INTER_NEAREST);
      cv::Mat out(3, 3, CV_8UC3);  // the wrong size: replaced
      ReplicatePixels(small, factor, &out);
      ASSERT_EQ(out.size(), expected.size());
      EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0) << size << " x" << factor;
    }
  }
}

}  // namespace
}  // namespace kx::test
