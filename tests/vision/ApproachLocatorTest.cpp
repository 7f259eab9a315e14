// The grey-level locator's pieces: approach steps and their bounds, centring, the rotation
// estimate over the rotated templates, noise removal and contour drawing.
#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "vision/ApproachLocator.h"

namespace {

constexpr double kDegree = 3.141592653589793 / 180;

// A smooth grey texture: blurred noise, so that small rotations change the correlation gradually.
cv::Mat Texture(int w, int h, unsigned seed) {
  cv::Mat t(h, w, CV_8UC1);
  cv::RNG(seed).fill(t, cv::RNG::UNIFORM, 0, 256);
  cv::GaussianBlur(t, t, cv::Size(0, 0), 3.0);
  cv::normalize(t, t, 0, 255, cv::NORM_MINMAX);
  return t;
}

TEST(NextApproach, OnlyAScoreStrictlyBetweenTheBoundsApproaches) {
  for (double score : {0.0, 0.4, 0.7, 0.95}) {
    SCOPED_TRACE(score);
    const kx::ApproachStep s = kx::NextApproach(score, {100, 100}, {40, 60}, 2.5);
    EXPECT_FALSE(s.approach);
    EXPECT_EQ(s.score, score);
    EXPECT_EQ(s.dx, 0);
    EXPECT_EQ(s.dy, 0);
  }
}

TEST(NextApproach, MovesATenthOfTheOffsetTruncatedTowardZero) {
  // The area's centre lies 80 pixels left of and 130 pixels below the frame centre.
  const kx::ApproachStep s = kx::NextApproach(0.55, {140, 420}, {40, 60}, 2.5);
  EXPECT_TRUE(s.approach);
  EXPECT_FALSE(s.last);
  EXPECT_EQ(s.score, 0.55);
  EXPECT_EQ(s.dx, -20);  // 80 * 2.5 * 0.1 = 20, the head moves left
  EXPECT_EQ(s.dy, -32);  // -130 * 2.5 * 0.1 = -32.5, truncated
}

TEST(NextApproach, AMoveSummingToZeroEndsTheApproachAsFound) {
  // ax = trunc(30 * 0.1) = 3, ay = trunc(-30 * 0.1) = -3.
  const kx::ApproachStep s = kx::NextApproach(0.5, {210, 350}, {0, 0}, 1.0);
  EXPECT_TRUE(s.approach);
  EXPECT_TRUE(s.last);
  EXPECT_EQ(s.score, kx::kApproachForcedScore);
  EXPECT_EQ(s.dx, -3);
  EXPECT_EQ(s.dy, -3);
  // Centred already: (0, 0) sums to zero as well.
  EXPECT_TRUE(kx::NextApproach(0.5, {220, 290}, {40, 60}, 1.0).last);
}

TEST(CentringMove, ScalesTheAreaCentreOffsetWithYUp) {
  EXPECT_EQ(kx::CentringMove({230, 280}, {40, 60}, 2.5), cv::Point(25, 25));
  EXPECT_EQ(kx::CentringMove({210, 300}, {40, 60}, 2.5), cv::Point(-25, -25));
  EXPECT_EQ(kx::CentringMove({220, 290}, {40, 60}, 2.5), cv::Point(0, 0));
  // 3 pixels at 0.9 is 2.7: truncated to 2 either way.
  EXPECT_EQ(kx::CentringMove({223, 287}, {40, 60}, 0.9), cv::Point(2, 2));
  EXPECT_EQ(kx::CentringMove({217, 293}, {40, 60}, 0.9), cv::Point(-2, -2));
}

TEST(MatchGrey, FindsTheTemplateInsideTheWindowAndRefusesOneThatDoesNotFit) {
  cv::Mat frame(kx::kFrameHeight, kx::kFrameWidth, CV_8UC1, cv::Scalar(128));
  const cv::Mat patch = Texture(50, 30, 3);
  patch.copyTo(frame(cv::Rect(200, 310, 50, 30)));
  const kx::GreyMatch m = kx::MatchGrey(frame, patch, cv::Rect(100, 200, 300, 300));
  EXPECT_GT(m.score, 0.99);
  EXPECT_EQ(m.at, cv::Point(200, 310));
  const kx::GreyMatch tooBig = kx::MatchGrey(frame, patch, cv::Rect(100, 200, 40, 300));
  EXPECT_EQ(tooBig.score, 0.0);
  EXPECT_EQ(tooBig.at, cv::Point(100, 200));
}

TEST(EstimateRotation, ASlotMustBeatTheScoreAndTiesKeepTheEarlierSlot) {
  const cv::Mat area = Texture(60, 40, 5);
  kx::RotationTemplates slots;
  EXPECT_EQ(kx::EstimateRotation(area, slots, 0.5), 0.0) << "every slot empty";
  slots[3] = area.clone();
  slots[7] = area.clone();
  EXPECT_DOUBLE_EQ(kx::EstimateRotation(area, slots, 0.5), -3.5 * kDegree);
  EXPECT_EQ(kx::EstimateRotation(area, slots, 1.5), 0.0) << "nothing beats the unrotated score";
  slots[2] = cv::Mat(40, 60, CV_8UC3, cv::Scalar::all(9));  // not grey: skipped
  EXPECT_DOUBLE_EQ(kx::EstimateRotation(area, slots, 0.5), -3.5 * kDegree);
}

TEST(RotationTemplates, SlotTenIsTheAreaAndARotatedAreaIsEstimatedWithinASlot) {
  cv::Mat picture = Texture(300, 260, 11);
  cv::Mat colour;
  cv::cvtColor(picture, colour, cv::COLOR_GRAY2BGR);
  kx::RoiImage reference(colour);
  ASSERT_TRUE(reference.SetRoi(cv::Rect(100, 90, 90, 70)));
  const kx::RotationTemplates slots = kx::MakeRotationTemplates(reference);
  for (const cv::Mat& s : slots) {
    ASSERT_EQ(s.size(), cv::Size(90, 70));
    ASSERT_EQ(s.type(), CV_8UC1);
  }
  EXPECT_EQ(cv::norm(slots[10], picture(reference.Roi()), cv::NORM_INF), 0.0);

  for (double truth : {2.0, -3.0, 4.5}) {
    SCOPED_TRACE(truth);
    // The picture turned counter-clockwise (as seen) by truth degrees about the area's centre.
    const cv::Point2f centre(100 + 44.5f, 90 + 34.5f);
    cv::Mat turned;
    cv::warpAffine(picture, turned, cv::getRotationMatrix2D(centre, truth, 1.0), picture.size());
    const cv::Mat seen = turned(reference.Roi());
    double unrotated = 0;
    cv::Mat r;
    cv::matchTemplate(seen, picture(reference.Roi()), r, cv::TM_CCOEFF_NORMED);
    cv::minMaxLoc(r, nullptr, &unrotated);
    EXPECT_NEAR(kx::EstimateRotation(seen, slots, unrotated) / kDegree, truth, 0.5);
  }
  kx::RoiImage empty;
  for (const cv::Mat& s : kx::MakeRotationTemplates(empty)) EXPECT_TRUE(s.empty());
}

TEST(RemoveNoise, SmoothsTheRegionOnly) {
  cv::Mat pixels(40, 40, CV_8UC1, cv::Scalar(100));
  pixels.at<uchar>(20, 20) = 255;
  pixels.at<uchar>(2, 2) = 255;  // outside the region
  kx::RoiImage image(pixels);
  ASSERT_TRUE(image.SetRoi(cv::Rect(10, 10, 21, 21)));  // odd: halves round down
  kx::RemoveNoise(image);
  EXPECT_LT(image.Pixels().at<uchar>(20, 20), 150) << "the spike is spread out";
  EXPECT_GT(image.Pixels().at<uchar>(21, 21), 100);
  EXPECT_EQ(image.Pixels().at<uchar>(2, 2), 255);
  EXPECT_EQ(image.Pixels().at<uchar>(9, 9), 100);
  EXPECT_EQ(image.Pixels().at<uchar>(10, 10), 100) << "a flat area stays flat";
}

TEST(HighlightContour, ClosesThePolygonAndDrawsOnePointAsADot) {
  cv::Mat image(50, 50, CV_8UC1, cv::Scalar(0));
  kx::HighlightContour({}, image, cv::Scalar(255));
  EXPECT_EQ(cv::countNonZero(image), 0);
  kx::HighlightContour({{25, 25}}, image, cv::Scalar(255));
  EXPECT_EQ(image.at<uchar>(25, 25), 255);
  EXPECT_GT(cv::countNonZero(image), 0);
  image.setTo(0);
  kx::HighlightContour({{5, 5}, {40, 5}, {40, 40}}, image, cv::Scalar(255));
  EXPECT_EQ(image.at<uchar>(22, 22), 255) << "the closing segment from the last point to the first";
  EXPECT_EQ(image.at<uchar>(5, 22), 255);
  EXPECT_EQ(image.at<uchar>(22, 40), 255);
  EXPECT_EQ(image.at<uchar>(30, 10), 0);
}

}  // namespace
