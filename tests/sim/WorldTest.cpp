// The simulated world: where the camera sees printed features, cuts, frame delivery, scoring.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "platform/Clock.h"
#include "sim/JobDescription.h"
#include "sim/SimMachine.h"
#include "sim/World.h"
#include "sim/WorldImages.h"
#include "tests/support/ReferencePixels.h"

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
  for (std::uint64_t seed : {1, 2, 3}) {
    WorldOptions o = CleanCamera(SmallWorld());
    o.seed = seed;
    o.camera.scale = 1.3 + 0.2 * static_cast<double>(seed);
    o.copies.jitter = 40;
    o.copies.jitterRotation = 0.3;
    const World world(o);
    const ArtShape& circle = CornerDot(world.Art());
    const int copy = static_cast<int>(seed % 4);
    const cv::Point2d bed = world.BedFromArtwork(copy, circle.centre);
    // Put the circle 60 pixels right of and 100 pixels above the frame centre.
    const cv::Point2d camera = bed - cv::Point2d(60 * o.camera.scale, 100 * o.camera.scale);
    const cv::Point2d head = camera - cv::Point2d(o.camera.offsetX, o.camera.offsetY);
    const cv::Mat frame = world.RenderFrame(head, {}, 0);
    const cv::Point2d c = Centroid(frame, circle.colour);
    EXPECT_NEAR(c.x, 240 + 60, 0.3) << seed;
    EXPECT_NEAR(c.y, 320 - 100, 0.3) << seed;
    // Its area matches the radius at this scale.
    const double r = circle.radius / o.camera.scale;
    cv::Mat mask;
    cv::inRange(frame, circle.colour - cv::Scalar::all(40), circle.colour + cv::Scalar::all(40),
                mask);
    EXPECT_NEAR(cv::countNonZero(mask), CV_PI * r * r, CV_PI * r * r * 0.05);
  }
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

TEST(World, ScoreMeasuresDistanceFromTheTrueContour) {
  const World world(SmallWorld());
  const auto contours = world.TrueContours(3, 5.0);
  std::vector<BedSegment> exact, shifted;
  for (const auto& line : contours)
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
      exact.push_back({line[i], line[i + 1]});
      shifted.push_back({line[i] + cv::Point2d(30, 40), line[i + 1] + cv::Point2d(30, 40)});
    }
  const CutScore good = world.ScoreCut(3, exact);
  EXPECT_GT(good.points, 1000u);
  EXPECT_LT(good.maxError, 0.1);
  const CutScore bad = world.ScoreCut(3, shifted);
  EXPECT_GT(bad.maxError, 45.0);
  EXPECT_LE(bad.maxError, 50.1);
  EXPECT_GT(bad.rmsError, 10.0);
  // Cut on the neighbouring copy, it is far off.
  EXPECT_GT(world.ScoreCut(2, exact).rmsError, 1000.0);
}

// The largest error is the distance of the worst knife point from the nearest piece of the
// contour, wherever that piece lies: checked against every piece, near the contour and far off.
TEST(World, ScoreAgreesWithTheNearestOfAllContourPieces) {
  const World world(SmallWorld());
  const auto contours = world.TrueContours(1, 2.0);
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

TEST(World, JobDescribesCopyZeroInDocumentUnits) {
  WorldOptions o = SmallWorld();
  o.copies.width = 4000;
  o.copies.height = 3000;
  const World world(o);
  const JobDescription job = MakeJob(world);
  EXPECT_EQ(job.reference.cols, 2500);
  EXPECT_EQ(job.reference.rows, 1875);
  EXPECT_NEAR(job.referenceWidth, 4000 * kDocPerCutter, 1e-9);
  // Marks: lower-left, lower-right, upper-left, all on the reference bitmap.
  EXPECT_LT(job.marks[0].x, job.marks[1].x);
  EXPECT_NEAR(job.marks[0].y, job.marks[1].y, 1e-9);
  EXPECT_GT(job.marks[2].y, job.marks[0].y);
  for (const cv::Rect2d& m : job.marks) {
    EXPECT_GE(m.x, job.referenceOrigin.x);
    EXPECT_LE(m.y + m.height, job.referenceOrigin.y + job.referenceHeight);
  }
  ASSERT_FALSE(job.cutPaths.empty());
  EXPECT_EQ(job.cutPaths.size(), world.Art().CutPaths().size());
  // A mark's area in the reference bitmap shows what the camera sees there on copy 0.
  const cv::Rect2d& m0 = job.marks[0];
  const cv::Rect roi = MarkPixels(job, 0);
  const cv::Point2d centreDoc(m0.x + m0.width / 2, m0.y + m0.height / 2);
  const cv::Mat frame =
      world.RenderFrame(world.HeadForCameraAt(world.BedFromDoc(0, centreDoc)), {}, 0);
  cv::Mat score;
  cv::matchTemplate(frame, job.reference(roi), score, cv::TM_CCOEFF_NORMED);
  double best = 0;
  cv::Point at;
  cv::minMaxLoc(score, nullptr, &best, nullptr, &at);
  EXPECT_GT(best, 0.8);
  EXPECT_NEAR(at.x + roi.width / 2.0, 240, 3);
  EXPECT_NEAR(at.y + roi.height / 2.0, 320, 3);
}

struct FrameLog {
  std::mutex mutex;
  std::vector<cv::Mat> frames;
  std::vector<std::thread::id> threads;
  static void BmpFrameCallback(BYTE* frame, DWORD count, DWORD, DWORD, DWORD, DWORD, void* ctx,
                               void*) {
    auto* log = static_cast<FrameLog*>(ctx);
    if (!frame || count != kFrameBytes) return;
    std::lock_guard<std::mutex> lock(log->mutex);
    log->frames.push_back(cv::Mat(kFrameHeight, kFrameWidth, CV_8UC3, frame).clone());
    log->threads.push_back(std::this_thread::get_id());
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return frames.size();
  }
};

TEST(SimCamera, VirtualClockDeliversEveryDueFrameBeforeTheSleepReturns) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  WorldOptions o = SmallWorld();
  o.camera.frameRate = 10;
  SimMachine machine(o);
  FrameLog log;
  RegisterFrameSink(&FrameLog::BmpFrameCallback, &log);
  // Frames at 100, 200, 300 ... ms after the start.
  Sleep(200);
  EXPECT_EQ(log.Count(), 2u);
  Sleep(50);
  EXPECT_EQ(log.Count(), 2u);
  Sleep(50);
  EXPECT_EQ(log.Count(), 3u);
  for (int i = 0; i < 10; ++i) Sleep(100);
  EXPECT_EQ(log.Count(), 13u);
  EXPECT_EQ(machine.Cam().FrameCount(), 14u);
  UnregisterFrameSink(&log);
  Sleep(1000);
  EXPECT_EQ(log.Count(), 13u);
  for (std::thread::id id : log.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(SimCamera, CutSquareBecomesVisibleInLaterFrames) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  const WorldOptions o = CleanCamera(SmallWorld());
  SimMachine machine(o);
  const World& world = machine.GetWorld();
  FrameLog log;
  RegisterFrameSink(&FrameLog::BmpFrameCallback, &log);
  // Over blank paper between copies 0 and 1.
  const cv::Point2d paper = world.BedFromArtwork(0, {world.Art().Width() + 1000, 3500});
  const cv::Point2d head = world.HeadForCameraAt(paper);
  sendxyNoW(static_cast<long>(head.x), static_cast<long>(head.y), kMoveTravel);
  Sleep(5000);
  const std::size_t before = log.Count();
  const long x0 = static_cast<long>(head.x), y0 = static_cast<long>(head.y);
  // The knife cuts a 500-unit square where it stands; the camera then looks at it.
  for (auto [dx, dy] : {std::pair{500L, 0L}, {500L, 500L}, {0L, 500L}, {0L, 0L}})
    sendxyNoW(x0 + dx, y0 + dy, kMoveCut);
  const cv::Point2d look = head - cv::Point2d(world.Options().camera.offsetX - 250,
                                              world.Options().camera.offsetY - 250);
  sendxyNoW(static_cast<long>(look.x), static_cast<long>(look.y), kMoveTravel);
  Sleep(5000);
  UnregisterFrameSink(&log);
  std::lock_guard<std::mutex> lock(log.mutex);
  cv::Mat grey;
  cv::cvtColor(log.frames[before - 1], grey, cv::COLOR_BGR2GRAY);
  EXPECT_EQ(cv::countNonZero(grey < 128), 0);
  cv::cvtColor(log.frames.back(), grey, cv::COLOR_BGR2GRAY);
  // The square's centre is at the frame centre; its left edge 250 units, 156 pixels at the
  // default scale of 1.6, to the left.
  EXPECT_LT(grey.at<uchar>(320, 240 - 156), 100);
  EXPECT_LT(grey.at<uchar>(320 + 156, 240), 100);  // lower edge: rows grow downward
  EXPECT_GT(grey.at<uchar>(320, 240), 200);
  EXPECT_GT(cv::countNonZero(grey < 128), 4 * 300 * 3);
  // The bed picture shows the cut in red where the knife went (y up, 10 units a pixel).
  const cv::Mat bed = RenderBed(world, machine.Cutter().KnifeTrace(clock.NowMicros()),
                                machine.Cutter().Position(), 10.0);
  const cv::Vec3b mid =
      bed.at<cv::Vec3b>(static_cast<int>(std::lround((o.cutter.bedHeight - y0) / 10.0)),
                        static_cast<int>(std::lround((x0 + 250) / 10.0)));
  EXPECT_GT(mid[2], 150);
  EXPECT_LT(mid[1], 120);
}

TEST(SimCamera, SameSeedGivesSameFrames) {
  auto run = [](std::uint64_t seed) {
    VirtualClock clock;
    ScopedClock scoped(&clock);
    WorldOptions o = SmallWorld();
    o.seed = seed;
    SimMachine machine(o);
    FrameLog log;
    RegisterFrameSink(&FrameLog::BmpFrameCallback, &log);
    const cv::Point2d head =
        machine.GetWorld().HeadForCameraAt(machine.GetWorld().BedFromArtwork(0, {450, 450}));
    sendxyNoW(static_cast<long>(head.x), static_cast<long>(head.y), kMoveTravel);
    for (int i = 0; i < 5; ++i) Sleep(200);
    UnregisterFrameSink(&log);
    return std::move(log.frames);
  };
  const auto a = run(7), b = run(7), c = run(8);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_EQ(a.size(), c.size());
  bool anyDiffers = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(cv::norm(a[i], b[i], cv::NORM_INF), 0.0) << i;
    anyDiffers = anyDiffers || cv::norm(a[i], c[i], cv::NORM_INF) > 0;
  }
  EXPECT_TRUE(anyDiffers);
  // Successive frames of one run differ by their noise.
  EXPECT_GT(cv::norm(a[a.size() - 1], a[a.size() - 2], cv::NORM_INF), 0.0);
}

TEST(SimCamera, SystemClockRunsByItselfUntilStopped) {
  WorldOptions o = SmallWorld();
  o.camera.frameRate = 100;
  SimMachine machine(o);
  FrameLog log;
  RegisterFrameSink(&FrameLog::BmpFrameCallback, &log);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (log.Count() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_GE(log.Count(), 3u) << "frames arrive without anyone advancing a clock";
  machine.Cam().Stop();
  const std::size_t n = log.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // five frame periods
  EXPECT_EQ(log.Count(), n) << "a frame after Stop";
  UnregisterFrameSink(&log);
}

}  // namespace
}  // namespace kx::test
