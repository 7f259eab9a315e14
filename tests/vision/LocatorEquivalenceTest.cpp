// The locator against three plain library correlations of the same frames: the same best
// position in every frame (or, on a tie within the library's rounding, the truly better one),
// scores within 1e-5 and the same decision.
#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "vision/TemplateLocator.h"

namespace {

using kx::kFrameHeight;
using kx::kFrameWidth;

constexpr double kScoreTolerance = 1e-5;

struct Plain {
  double score = 0;
  cv::Point best;
};

// One frame's best match by the plain library call, position in frame pixels.
Plain PlainBest(const cv::Mat& frame, const cv::Mat& templ, const cv::Rect& window) {
  cv::Mat result;
  cv::matchTemplate(frame(window), templ, result, cv::TM_CCOEFF_NORMED);
  Plain p;
  cv::minMaxLoc(result, nullptr, &p.score, nullptr, &p.best);
  p.best += window.tl();
  return p;
}

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

// Compares frame by frame: with the same frame three times the locator's mean is that frame's
// own best position and score. Where the plain call's own scores at the two positions differ by
// less than its rounding, the locator must have picked the truly higher one.
void ExpectSameAsPlain(const cv::Mat& frame, const cv::Mat& templ, const cv::Rect& window,
                       const char* what) {
  SCOPED_TRACE(what);
  const cv::Mat frames[kx::kMatchFrames] = {frame, frame, frame};
  const kx::MarkMatch m = kx::MatchMark(frames, templ, window, 1.0);
  const Plain p = PlainBest(frame, templ, window);
  EXPECT_NEAR(m.score, p.score, kScoreTolerance);
  EXPECT_EQ(m.found, p.score > kx::kMatchThreshold);
  if (m.best == p.best) return;
  cv::Mat result;
  cv::matchTemplate(frame(window), templ, result, cv::TM_CCOEFF_NORMED);
  const float plainAtOurs = result.at<float>(m.best - window.tl());
  ASSERT_NEAR(plainAtOurs, p.score, kScoreTolerance)
      << "best at " << m.best << ", plain best at " << p.best;
  EXPECT_GT(ExactScore(frame, templ, m.best), ExactScore(frame, templ, p.best))
      << "a near tie resolved toward the lower score";
}

// A printed-looking texture: random blobs, blurred like a camera image.
cv::Mat Texture(cv::Size size, unsigned seed, double blur) {
  cv::Mat t(size, CV_8UC3);
  cv::RNG rng(seed);
  rng.fill(t, cv::RNG::UNIFORM, 0, 256);
  cv::GaussianBlur(t, t, cv::Size(0, 0), blur);
  cv::normalize(t, t, 0, 255, cv::NORM_MINMAX);
  return t;
}

cv::Mat AddNoise(const cv::Mat& frame, unsigned seed, double sigma) {
  cv::Mat noise(frame.size(), CV_16SC3);
  cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, sigma);
  cv::Mat out;
  cv::add(frame, noise, out, cv::noArray(), CV_8UC3);
  return out;
}

const cv::Rect kFullFrame(0, 0, kFrameWidth, kFrameHeight);

TEST(LocatorEquivalence, MarkAreasOfManySizesInNoisyFrames) {
  const cv::Mat scene = Texture({kFrameWidth + 200, kFrameHeight + 200}, 11, 3.0);
  unsigned seed = 1;
  for (const cv::Size area : {cv::Size(250, 250), cv::Size(120, 120), cv::Size(61, 47),
                              cv::Size(400, 400), cv::Size(480, 200)}) {
    for (const cv::Point shift : {cv::Point(100, 100), cv::Point(37, 151), cv::Point(0, 0)}) {
      const cv::Mat frame = AddNoise(scene(cv::Rect(shift, kFullFrame.size())), ++seed, 4.0);
      // The template comes from the clean scene, offset from the frame centre.
      const cv::Rect from(100 + kFrameWidth / 2 - area.width / 2 + 13,
                          100 + kFrameHeight / 2 - area.height / 2 - 9, area.width, area.height);
      const cv::Mat templ = scene(from & cv::Rect({0, 0}, scene.size())).clone();
      ExpectSameAsPlain(frame, templ, kFullFrame, "full frame");
      ExpectSameAsPlain(frame, templ, cv::Rect(0, 60, 480, 520), "window of a short job");
    }
  }
}

TEST(LocatorEquivalence, WindowsSmallerThanTheFrameAndOddTemplates) {
  const cv::Mat scene = Texture({kFrameWidth, kFrameHeight}, 23, 2.0);
  const cv::Mat frame = AddNoise(scene, 5, 3.0);
  const cv::Mat templ = scene(cv::Rect(200, 290, 53, 71)).clone();
  for (const cv::Rect window : {cv::Rect(90, 170, 300, 300), cv::Rect(150, 250, 180, 142),
                                cv::Rect(0, 0, 480, 638), cv::Rect(201, 291, 53, 71)})
    ExpectSameAsPlain(frame, templ, window, "window");
}

TEST(LocatorEquivalence, MissingMarkGivesTheSameLowScores) {
  const cv::Mat templ = Texture({250, 250}, 31, 3.0);
  const cv::Mat frame = AddNoise(Texture(kFullFrame.size(), 41, 3.0), 41, 4.0);
  ExpectSameAsPlain(frame, templ, kFullFrame, "other texture");
}

TEST(LocatorEquivalence, FlatAreasInTheFrameOrTheTemplate) {
  // Grey paper with the mark on it: windows over plain paper have no contrast at all.
  const cv::Mat mark = Texture({80, 80}, 51, 2.0);
  cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar(200, 210, 205));
  mark.copyTo(frame(cv::Rect(300, 400, 80, 80)));
  ExpectSameAsPlain(frame, mark, kFullFrame, "mark on plain paper");
  // A template without contrast scores 1 everywhere; both report the first position.
  const cv::Mat flat(60, 60, CV_8UC3, cv::Scalar(90, 90, 90));
  ExpectSameAsPlain(frame, flat, kFullFrame, "flat template");
  // A dark mark that saturates: the correlation reaches exactly 1.
  ExpectSameAsPlain(frame, frame(cv::Rect(280, 380, 120, 120)).clone(), kFullFrame, "exact copy");
}

TEST(LocatorEquivalence, ThreeDifferentFramesAverageThePlainResults) {
  const cv::Mat scene = Texture({kFrameWidth + 40, kFrameHeight + 40}, 61, 3.0);
  const cv::Mat templ = scene(cv::Rect(130, 200, 250, 250)).clone();
  cv::Mat frames[kx::kMatchFrames];
  double sum = 0;
  cv::Point sumBest;
  for (int k = 0; k < kx::kMatchFrames; ++k) {
    frames[k] = AddNoise(scene(cv::Rect(k * 7, k * 11, kFrameWidth, kFrameHeight)), 70 + k, 4.0);
    const Plain p = PlainBest(frames[k], templ, kFullFrame);
    sum += p.score;
    sumBest += p.best;
  }
  const kx::MarkMatch m = kx::MatchMark(frames, templ, kFullFrame, 1.6);
  EXPECT_EQ(m.best, sumBest / kx::kMatchFrames);
  EXPECT_EQ(m.best, cv::Point(123, 189));  // (130 - 7) and (200 - 11) on average
  EXPECT_NEAR(m.score, sum / kx::kMatchFrames, kScoreTolerance);
  EXPECT_TRUE(m.found);
}

}  // namespace
