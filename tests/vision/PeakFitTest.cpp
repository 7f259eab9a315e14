// The sub-pixel peak fit on synthetic correlation surfaces with known peaks, and the sub-pixel
// template match built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "vision/PeakFit.h"
#include "vision/TemplateLocator.h"

namespace {

// A surface whose value at (x, y) is f(x - peak.x, y - peak.y), with its largest sample.
template <typename F>
cv::Mat Surface(cv::Size size, cv::Point2d peak, F f, cv::Point* best) {
  cv::Mat s(size, CV_32F);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      s.at<float>(y, x) = static_cast<float>(f(x - peak.x, y - peak.y));
  cv::minMaxLoc(s, nullptr, nullptr, nullptr, best);
  return s;
}

double Paraboloid(double dx, double dy) { return 0.9 - 0.05 * dx * dx - 0.08 * dy * dy; }

TEST(PeakFit, ParaboloidPeaksAreRecoveredExactlyIncludingHalfPixels) {
  // A quadratic surface is what the three-point parabola fits without error, wherever the peak.
  for (const cv::Point2d peak :
       {cv::Point2d(10, 12), cv::Point2d(10.5, 12), cv::Point2d(10, 11.5), cv::Point2d(9.5, 12.5),
        cv::Point2d(10.25, 11.8), cv::Point2d(10.49, 12.01)}) {
    cv::Point best;
    const cv::Mat s = Surface({21, 25}, peak, Paraboloid, &best);
    const cv::Point2d r = kx::RefinePeak(s, best);
    EXPECT_NEAR(r.x, peak.x, 1e-4) << peak;
    EXPECT_NEAR(r.y, peak.y, 1e-4) << peak;
  }
}

TEST(PeakFit, HalfPixelTiesGiveTheMidpointFromEitherSample) {
  // Equal neighbours: the summit lies exactly between them, seen from either one.
  EXPECT_DOUBLE_EQ(kx::ParabolaPeakOffset(0.2, 0.8, 0.8), 0.5);
  EXPECT_DOUBLE_EQ(kx::ParabolaPeakOffset(0.8, 0.8, 0.2), -0.5);
  EXPECT_DOUBLE_EQ(kx::ParabolaPeakOffset(0.5, 0.9, 0.5), 0.0);
  // No downward curvature: nothing to fit.
  EXPECT_DOUBLE_EQ(kx::ParabolaPeakOffset(0.7, 0.7, 0.7), 0.0);
  EXPECT_DOUBLE_EQ(kx::ParabolaPeakOffset(0.9, 0.5, 0.9), 0.0);
}

TEST(PeakFit, GaussianPeaksAreNotPulledTowardWholePixels) {
  // Correlation peaks of blurred marks are bell-shaped; the fit must stay within a few
  // hundredths of a pixel everywhere between samples and keep the order of the true positions.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> frac(-0.5, 0.5);
  double previous = -1;
  for (int k = 0; k <= 20; ++k) {
    const double d = -0.5 + k * 0.05;
    const cv::Point2d peak(12 + d, 9 + frac(rng));
    cv::Point best;
    const cv::Mat s = Surface(
        {24, 20}, peak,
        [](double dx, double dy) { return std::exp(-(dx * dx + dy * dy) / (2 * 1.6 * 1.6)); },
        &best);
    const cv::Point2d r = kx::RefinePeak(s, best);
    EXPECT_NEAR(r.x, peak.x, 0.04) << d;
    EXPECT_NEAR(r.y, peak.y, 0.04) << d;
    EXPECT_GT(r.x, previous) << "the fit must grow with the true position";
    previous = r.x;
  }
}

TEST(PeakFit, PeaksOnTheSurfaceEdgeKeepTheWholePixel) {
  cv::Point best;
  const cv::Mat s = Surface({9, 9}, {0.3, 8.2}, Paraboloid, &best);
  ASSERT_EQ(best, cv::Point(0, 8));
  EXPECT_EQ(kx::RefinePeak(s, best), cv::Point2d(0, 8));
}

// A frame showing a smooth blob centred at (cx, cy) in frame pixels, in all three colours.
cv::Mat BlobFrame(cv::Point2d c) {
  cv::Mat f(kx::kFrameHeight, kx::kFrameWidth, CV_8UC3);
  for (int y = 0; y < f.rows; ++y)
    for (int x = 0; x < f.cols; ++x) {
      const double r2 = (x - c.x) * (x - c.x) + (y - c.y) * (y - c.y);
      const auto v = static_cast<uchar>(std::lround(40 + 180 * std::exp(-r2 / (2 * 9.0 * 9.0))));
      f.at<cv::Vec3b>(y, x) = cv::Vec3b(v, v, v);
    }
  return f;
}

TEST(MatchMark, SubPixelOffsetsAreRoundedNotTruncated) {
  // The template is the blob centred on its own pixel grid; frames show it a fraction of a pixel
  // away. The described locator sees whole pixels only and truncates.
  const int w = 60, h = 60;
  const cv::Mat centred = BlobFrame({kx::kFrameWidth / 2, kx::kFrameHeight / 2});
  const cv::Mat templ =
      centred(cv::Rect(kx::kFrameWidth / 2 - w / 2, kx::kFrameHeight / 2 - h / 2, w, h)).clone();
  const cv::Rect window(120, 200, 240, 240);
  const double scale = 10.0;
  for (const cv::Point2d shift :
       {cv::Point2d(0.3, -0.4), cv::Point2d(-0.5, 0.5), cv::Point2d(2.7, 1.25)}) {
    cv::Mat frames[kx::kMatchFrames];
    for (cv::Mat& f : frames)
      f = BlobFrame({kx::kFrameWidth / 2 + shift.x, kx::kFrameHeight / 2 + shift.y});
    const kx::MarkMatch fine = kx::MatchMark(frames, templ, window, scale, true);
    ASSERT_TRUE(fine.found);
    // y is counted upward: a blob lower in the frame lies below the centre. The template's
    // reference point is the corner half a pixel left of and above the blob's centre.
    EXPECT_NEAR(fine.offset.x, (shift.x - 0.5) * scale, 0.5) << shift;
    EXPECT_NEAR(fine.offset.y, (0.5 - shift.y) * scale, 0.5) << shift;
    EXPECT_EQ(fine.x, std::lround(fine.offset.x)) << shift;
    EXPECT_EQ(fine.y, std::lround(fine.offset.y)) << shift;
    const kx::MarkMatch coarse = kx::MatchMark(frames, templ, window, scale);
    EXPECT_EQ(coarse.x % 10, 0) << "whole pixels only";
  }
}

// Two blobs of different sizes, both well above the reference point, so that the middle of the
// pattern's contrast lies far from it. p in pixels of a 120 x 120 area, rows downward.
double TwoBlobs(cv::Point2d p) {
  const auto blob = [&p](cv::Point2d a, double sigma) {
    const cv::Point2d d = p - a;
    return std::exp(-d.dot(d) / (2 * sigma * sigma));
  };
  return 40 + 180 * blob({95, 30}, 6) + 120 * blob({20, 25}, 4);
}

TEST(MatchMark, AReferenceWarpedAsThePrintLiesIsNotPulledByItsTurn) {
  const int side = 120;
  const cv::Point2d pivot(side / 2 - 0.5, side / 2 - 0.5);
  cv::Mat templ(side, side, CV_8UC3);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      templ.at<cv::Vec3b>(y, x) =
          cv::Vec3b::all(cv::saturate_cast<uchar>(TwoBlobs({x * 1.0, y * 1.0})));
  // The print turned 3 degrees counterclockwise as seen, its reference point a little off the
  // frame centre.
  const double a = 3.0 * CV_PI / 180.0;
  const cv::Matx22d turn(std::cos(a), std::sin(a), -std::sin(a), std::cos(a));
  const cv::Point2d shift(2.3, -1.6);
  const cv::Vec2d at(kx::kFrameWidth / 2 + shift.x, kx::kFrameHeight / 2 + shift.y);
  cv::Mat frame(kx::kFrameHeight, kx::kFrameWidth, CV_8UC3);
  for (int y = 0; y < frame.rows; ++y)
    for (int x = 0; x < frame.cols; ++x) {
      const cv::Vec2d p = turn.t() * (cv::Vec2d(x, y) - at);
      frame.at<cv::Vec3b>(y, x) =
          cv::Vec3b::all(cv::saturate_cast<uchar>(TwoBlobs(pivot + cv::Point2d(p[0], p[1]))));
    }
  cv::Mat frames[kx::kMatchFrames] = {frame, frame, frame};
  const cv::Rect window(180, 100, 280, 280);
  const kx::MarkMatch warped =
      kx::MatchMark(frames, kx::WarpedTemplate(templ, turn), window, 1.0, true);
  ASSERT_TRUE(warped.found);
  EXPECT_NEAR(warped.offset.x, shift.x, 0.1);
  EXPECT_NEAR(warped.offset.y, -shift.y, 0.1);
  // The same area unwarped is pulled by about the angle times the pattern's distance from its
  // reference point: what the warp is for.
  const kx::MarkMatch plain = kx::MatchMark(frames, templ, window, 1.0, true);
  ASSERT_TRUE(plain.found);
  EXPECT_GT(std::hypot(plain.offset.x - shift.x, plain.offset.y + shift.y), 0.5);
}

TEST(WarpedTemplate, TheIdentityKeepsEveryPixel) {
  cv::Mat templ(40, 60, CV_8UC3);
  cv::randu(templ, 0, 255);
  const cv::Mat same = kx::WarpedTemplate(templ, cv::Matx22d::eye());
  EXPECT_EQ(cv::norm(same, templ, cv::NORM_INF), 0.0);
}

}  // namespace
