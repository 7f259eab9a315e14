// The template match locator on synthetic frames: offsets, signs, truncation, the threshold, the
// search window and its guards.
#include <gtest/gtest.h>

#include "common/Frame.h"
#include "common/Units.h"
#include "vision/TemplateLocator.h"

namespace {

using kx::kFrameHeight;
using kx::kFrameWidth;

// A textured patch that correlates only with itself.
cv::Mat Patch(int w, int h, unsigned seed) {
  cv::Mat p(h, w, CV_8UC3);
  cv::RNG rng(seed);
  rng.fill(p, cv::RNG::UNIFORM, 0, 256);
  return p;
}

// A grey frame with the patch's top-left corner at (x, y).
cv::Mat FrameWith(const cv::Mat& patch, int x, int y) {
  cv::Mat f(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar::all(128));
  patch.copyTo(f(cv::Rect(x, y, patch.cols, patch.rows)));
  return f;
}

// Frames showing the patch with its centre at (cx + dx, cy - dy): dx right, dy up, in pixels.
void CentredFrames(const cv::Mat& patch, int dx, int dy, cv::Mat (&frames)[3]) {
  const int x = kFrameWidth / 2 - patch.cols / 2 + dx;
  const int y = kFrameHeight / 2 - patch.rows / 2 - dy;
  for (auto& f : frames) f = FrameWith(patch, x, y);
}

const cv::Rect kFullFrame(0, 0, kFrameWidth, kFrameHeight);

TEST(MatchMark, OffsetsAreScaledWithYUp) {
  const cv::Mat patch = Patch(60, 40, 1);
  cv::Mat frames[3];
  CentredFrames(patch, 0, 0, frames);
  auto m = kx::MatchMark(frames, patch, kFullFrame, 2.5);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.x, 0);
  EXPECT_EQ(m.y, 0);

  CentredFrames(patch, 10, 10, frames);  // right and above
  m = kx::MatchMark(frames, patch, kFullFrame, 2.5);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.x, 25);
  EXPECT_EQ(m.y, 25);
  EXPECT_GT(m.score, 0.99);

  CentredFrames(patch, -10, -10, frames);  // left and below
  m = kx::MatchMark(frames, patch, kFullFrame, 2.5);
  EXPECT_EQ(m.x, -25);
  EXPECT_EQ(m.y, -25);
}

TEST(MatchMark, OffsetsTruncateTowardZero) {
  const cv::Mat patch = Patch(50, 50, 2);
  cv::Mat frames[3];
  CentredFrames(patch, 3, -3, frames);
  auto m = kx::MatchMark(frames, patch, kFullFrame, 0.9);
  ASSERT_TRUE(m.found);
  EXPECT_EQ(m.x, 2);   // 2.7
  EXPECT_EQ(m.y, -2);  // -2.7
}

TEST(MatchMark, ScoresStrictlyAboveSevenTenthsOnlyAreFound) {
  EXPECT_FALSE(kx::MatchAccepted(0.7));
  EXPECT_TRUE(kx::MatchAccepted(0.7000001));
}

TEST(MatchMark, TemplateLargerThanTheWindowIsNotFoundWithoutCrashing) {
  const cv::Mat patch = Patch(120, 60, 5);
  cv::Mat frames[3];
  CentredFrames(patch, 0, 0, frames);
  const auto m = kx::MatchMark(frames, patch, cv::Rect(200, 300, 80, 80), 1.0);
  EXPECT_FALSE(m.found);
  EXPECT_EQ(m.score, 0.0);
  EXPECT_FALSE(kx::MatchMark(frames, patch, cv::Rect(0, 0, 0, 0), 1.0).found);
}

TEST(SearchWindow, SizedFromTheJobAndCappedAtTheFrame) {
  const double scale = 2.0;
  auto boundsOfPixels = [&](double wpx, double hpx) {
    return BOUNDS{1.0, 1.0 + wpx * scale * kx::kDocPerCutter, 2.0,
                  2.0 + hpx * scale * kx::kDocPerCutter, 0};
  };
  // 301.5 px wide truncates to 301, rounds down to even 300, starts at 240 - 150 = 90.
  EXPECT_EQ(kx::SearchWindow(boundsOfPixels(301.5, 201.5), scale), cv::Rect(90, 220, 300, 200));
  EXPECT_EQ(kx::SearchWindow(boundsOfPixels(2000, 2000), scale), cv::Rect(0, 0, 480, 640));
  EXPECT_EQ(kx::SearchWindow(boundsOfPixels(480, 641), scale), cv::Rect(0, 0, 480, 640));
}

}  // namespace
