// The locator on frames of the simulated camera: each mark of several copies, seen from where a
// search stands, matched against the mark's area of the job's reference bitmap, gives the plain
// library correlation's best positions, its scores within 1e-5 (or nearer the exact value where
// the plain call's own rounding is larger) and its decision.
#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "sim/JobDescription.h"
#include "sim/World.h"
#include "vision/TemplateLocator.h"

namespace kx::test {
namespace {

// The correlation coefficient at one position, summed exactly in doubles.
double ExactScore(const cv::Mat& frame, const cv::Mat& templ, cv::Point at) {
  cv::Mat a;
  cv::Mat t;
  frame(cv::Rect(at, templ.size())).convertTo(a, CV_64FC3);
  templ.convertTo(t, CV_64FC3);
  a -= cv::mean(a);
  t -= cv::mean(t);
  return a.dot(t) / std::sqrt(a.dot(a) * t.dot(t));
}

TEST(LocatorOnCameraFrames, SameResultsAsThePlainCorrelation) {
  WorldOptions o;
  o.copies.columns = 2;
  o.copies.rows = 2;
  const World world(o);
  const JobDescription job = MakeJob(world);
  const double scale = o.camera.scale;
  const cv::Rect frameRect(0, 0, kFrameWidth, kFrameHeight);
  std::uint64_t index = 1;
  int found = 0;
  int compared = 0;
  for (int copy : {0, 3}) {
    for (int mark = 0; mark < 3; ++mark) {
      // The mark's area of the reference bitmap, which is at the camera's true scale.
      const cv::Rect2d& m = job.marks[static_cast<std::size_t>(mark)];
      const cv::Point2d lowerLeft = world.ArtworkFromDoc({m.x, m.y}) / scale;
      const cv::Size area(Even(TruncInt(m.width / kDocPerCutter / scale)),
                          Even(TruncInt(m.height / kDocPerCutter / scale)));
      const cv::Rect from(TruncInt(lowerLeft.x),
                          job.reference.rows - TruncInt(lowerLeft.y) - area.height, area.width,
                          area.height);
      const cv::Mat templ = job.reference(from & cv::Rect({0, 0}, job.reference.size())).clone();
      const cv::Point2d centre(m.x + m.width / 2, m.y + m.height / 2);
      const cv::Point2d over = world.HeadForCameraAt(world.BedFromDoc(copy, centre));
      // On the mark, beside it, and far enough off that it leaves the frame.
      for (const cv::Point2d off :
           {cv::Point2d(0, 0), cv::Point2d(57, -33), cv::Point2d(-160, 120), cv::Point2d(900, 0)}) {
        cv::Mat frames[kMatchFrames];
        double sum = 0;
        cv::Point sumBest;
        for (cv::Mat& f : frames) {
          f = world.RenderFrame(over + off, {}, index++);
          cv::Mat result;
          cv::matchTemplate(f, templ, result, cv::TM_CCOEFF_NORMED);
          double best = 0;
          cv::Point at;
          cv::minMaxLoc(result, nullptr, &best, nullptr, &at);
          sum += best;
          sumBest += at;
          // Frame by frame: three times the same frame.
          const cv::Mat same[kMatchFrames] = {f, f, f};
          const MarkMatch one = MatchMark(same, templ, frameRect, scale);
          EXPECT_EQ(one.best, at) << "copy " << copy << " mark " << mark << " off " << off;
          if (std::fabs(one.score - best) >= 1e-5) {
            // Over bare paper the plain call's own rounding reaches 1e-5: there the locator must
            // be the closer of the two to the exactly summed coefficient.
            const double exact = ExactScore(f, templ, at);
            EXPECT_LT(std::fabs(one.score - exact), std::fabs(best - exact))
                << "copy " << copy << " mark " << mark << " off " << off;
            EXPECT_LT(best, kMatchThreshold - 0.5);
          }
          ++compared;
        }
        const MarkMatch all = MatchMark(frames, templ, frameRect, scale);
        EXPECT_EQ(all.best, sumBest / kMatchFrames);
        EXPECT_NEAR(all.score, sum / kMatchFrames, 1e-5);
        EXPECT_EQ(all.found, sum / kMatchFrames > kMatchThreshold);
        found += all.found ? 1 : 0;
      }
    }
  }
  EXPECT_EQ(compared, 2 * 3 * 4 * kMatchFrames);
  // Every mark is found from its own three near positions, none from far off.
  EXPECT_EQ(found, 2 * 3 * 3);
}

}  // namespace
}  // namespace kx::test
