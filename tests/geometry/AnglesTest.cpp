// Angle functions and calibration mappings.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "common/TM.h"
#include "geometry/Angles.h"

namespace {

const double kPi = 4.0 * std::atan(1.0);

TEST(CalcAngle, RightStraightAndZeroLength) {
  const cv::Point o{0, 0}, a{5, 0}, b{0, 7}, c{-3, 0};
  EXPECT_NEAR(kx::CalcAngle(&a, &b, &o), 0.0, 1e-12);
  EXPECT_NEAR(kx::CalcAngle(&a, &c, &o), -1.0, 1e-12);
  EXPECT_EQ(kx::CalcAngle(&o, &b, &o), 0.0);
}

TEST(CalcAngle360, FoldsByTheSideOfTheVertex) {
  // A vertex with a larger y than pt1 gives the cosine itself, any other pi minus the cosine.
  // Both vertices see their neighbours at a cosine of -1/sqrt(5).
  const cv::Point pt1{0, 0}, pt2{10, 10}, largerY{10, 5}, sameY{5, 0};
  EXPECT_NEAR(kx::CalcAngle360(&pt1, &pt2, &largerY), -1 / std::sqrt(5.0), 1e-12);
  EXPECT_NEAR(kx::CalcAngle360(&pt1, &pt2, &sameY), kPi + 1 / std::sqrt(5.0), 1e-12);
}

TEST(CalcAngle2Pt, SpecialDirectionsAndUnresolvedQuadrant) {
  EXPECT_EQ(kx::CalcAngle2Pt(0, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(kx::CalcAngle2Pt(0, 0, 0, -5), -kPi / 2);
  EXPECT_DOUBLE_EQ(kx::CalcAngle2Pt(0, 0, 0, 5), kPi / 2);
  EXPECT_DOUBLE_EQ(kx::CalcAngle2Pt(0, 0, -3, 0), kPi);
  EXPECT_DOUBLE_EQ(kx::CalcAngle2Pt(0, 0, -1, 1), -kPi / 4);
  EXPECT_DOUBLE_EQ(kx::CalcAngle2Pt(cv::Point{0, 0}, cv::Point{-1, 1}), -kPi / 4);
}

TEST(CalibrationMappings, DefaultTablesAreDegenerate) {
  const cv::Point ones[3] = {{1, 1}, {1, 1}, {1, 1}};
  double ox = 123, oy = 456;
  EXPECT_EQ(kx::CalcTwoCalPoint(5, 5, &ox, &oy, ones, ones), -1);
  EXPECT_EQ(kx::CalcPoint(5, 5, &ox, &oy, ones, ones), -1);
  EXPECT_EQ(ox, 123);
  EXPECT_EQ(oy, 456);
}

TEST(CalibrationMappings, ReproduceTheMapsTheirPairsDefine) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-500, 500);
  for (int i = 0; i < 200; ++i) {
    // A similarity with integer-valued images of integer points: quarter turns and scale 2.
    const int q = i % 4;
    const double c = q == 0 ? 2 : q == 2 ? -2 : 0, s = q == 1 ? 2 : q == 3 ? -2 : 0;
    const TM sim{c, s, -s, c, 17, -9};
    cv::Point src[3] = {
        {coord(rng), coord(rng)}, {coord(rng), coord(rng)}, {coord(rng), coord(rng)}};
    if (src[0] == src[1]) continue;
    cv::Point dst[3];
    for (int j = 0; j < 3; ++j) {
      const NewWorldPt m = sim.Map({double(src[j].x), double(src[j].y)});
      dst[j] = cv::Point(int(m.x), int(m.y));
    }
    const double x = coord(rng), y = coord(rng);
    double ox = 0, oy = 0;
    ASSERT_EQ(kx::CalcTwoCalPoint(x, y, &ox, &oy, src, dst), 0);
    EXPECT_NEAR(ox, sim.Map({x, y}).x, 1e-7);
    EXPECT_NEAR(oy, sim.Map({x, y}).y, 1e-7);
    const long area = long(src[1].x - src[0].x) * (src[2].y - src[0].y) -
                      long(src[2].x - src[0].x) * (src[1].y - src[0].y);
    if (area == 0) continue;
    ASSERT_EQ(kx::CalcPoint(x, y, &ox, &oy, src, dst), 0);
    EXPECT_NEAR(ox, sim.Map({x, y}).x, 1e-6);
    EXPECT_NEAR(oy, sim.Map({x, y}).y, 1e-6);
  }
}

}  // namespace
