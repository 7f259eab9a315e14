// Registration transforms: hand-checked cases where a fault would hide, and recovery properties.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "geometry/Registration.h"

namespace {

using kx::GetTM;

void ExpectTmNear(const TM& a, const TM& b, double eps) {
  EXPECT_NEAR(a.m11, b.m11, eps);
  EXPECT_NEAR(a.m12, b.m12, eps);
  EXPECT_NEAR(a.m21, b.m21, eps);
  EXPECT_NEAR(a.m22, b.m22, eps);
  EXPECT_NEAR(a.dx, b.dx, eps * 1e3);
  EXPECT_NEAR(a.dy, b.dy, eps * 1e3);
}

TEST(GetTMSimilarity, QuarterTurnFromPairsDifferingOnlyInY) {
  // ux = 0 takes the uy branch: k = 0, s = 1, a quarter turn followed by (5, 5).
  const TM tm = GetTM({0, 0}, {0, 1}, {5, 5}, {4, 5});
  EXPECT_EQ(tm, (TM{0.0, 1.0, -1.0, 0.0, 5.0, 5.0}));
}

TEST(GetTM, DegenerateInputsGiveTheIdentityNotATranslation) {
  EXPECT_EQ(GetTM({3, 4}, {3, 4}, {10, 10}, {20, 30}), TM::Identity());
  NewWorldPt refs[3] = {{3, 4}, {3, 4}, {0, 0}};
  NewWorldPt found[3] = {{10, 10}, {20, 30}, {0, 0}};
  NewWorldPt out;
  EXPECT_TRUE(kx::GetRealPoint(2, {7, 8}, &out, refs, found));
  EXPECT_EQ(out, (NewWorldPt{7, 8}));
  // Three pairs whose sources are collinear or coincide.
  EXPECT_EQ(GetTM({0, 0}, {1, 1}, {2, 2}, {0, 0}, {5, 1}, {3, 9}), TM::Identity());
  EXPECT_EQ(GetTM({1, 1}, {1, 1}, {1, 1}, {0, 0}, {5, 1}, {3, 9}), TM::Identity());
}

TEST(GetRealPoint, TheCountChoosesTranslationSimilarityOrAffine) {
  // The pairs: (0, 0) -> (10, 20), (100, 0) -> (10, 120), (0, 100) -> (-190, 20). The first two
  // are a quarter turn, the third stretches the turned y by two.
  const NewWorldPt refs[3] = {{0, 0}, {100, 0}, {0, 100}};
  const NewWorldPt found[3] = {{10, 20}, {10, 120}, {-190, 20}};
  const struct {
    int count;
    NewWorldPt expect;  // where (50, 50) goes
  } cases[] = {{1, {60, 70}}, {2, {-40, 70}}, {3, {-90, 70}},
               {0, {50, 50}}, {4, {50, 50}},  {-1, {50, 50}}};
  for (const auto& c : cases) {
    NewWorldPt out;
    EXPECT_TRUE(kx::GetRealPoint(c.count, {50, 50}, &out, refs, found));
    EXPECT_EQ(out, c.expect) << "count " << c.count;
  }
}

TEST(CalcPointTM, MapsBothRowsFromTheInputAndTruncatesTowardZero) {
  long x = 1, y = -1;
  EXPECT_TRUE(kx::CalcPointTM(TM::Translation(1.9, -1.9), &x, &y));
  EXPECT_EQ(x, 2);   // 2.9 -> 2
  EXPECT_EQ(y, -2);  // -2.9 -> -2
  x = 10;
  y = 20;
  kx::CalcPointTM(TM{0.0, 1.0, 1.0, 0.0, 0.0, 0.0}, &x, &y);  // swap: y is computed from the old x
  EXPECT_EQ(x, 20);
  EXPECT_EQ(y, 10);
}

// Property loops: exact maps are recovered from the minimum number of pairs.
class RandomMaps : public ::testing::Test {
 protected:
  std::mt19937 rng{12345};
  double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
  NewWorldPt P() { return {U(-20000, 20000), U(-20000, 20000)}; }
};

TEST_F(RandomMaps, AffineRecoveredFromThreeNonCollinearPairs) {
  for (int i = 0; i < 500; ++i) {
    const TM truth{U(0.5, 2), U(-0.5, 0.5), U(-0.5, 0.5), U(0.5, 2), U(-5e4, 5e4), U(-5e4, 5e4)};
    NewWorldPt s[3] = {P(), P(), P()};
    const double area =
        (s[1].x - s[0].x) * (s[2].y - s[0].y) - (s[2].x - s[0].x) * (s[1].y - s[0].y);
    if (std::abs(area) < 1e6) continue;
    const TM tm = GetTM(s[0], s[1], s[2], truth.Map(s[0]), truth.Map(s[1]), truth.Map(s[2]));
    ExpectTmNear(tm, truth, 1e-9);
    const NewWorldPt q = P();
    EXPECT_NEAR(tm.Map(q).x, truth.Map(q).x, 1e-5);
    EXPECT_NEAR(tm.Map(q).y, truth.Map(q).y, 1e-5);
  }
}

TEST_F(RandomMaps, SimilarityRecoveredFromTwoPairs) {
  for (int i = 0; i < 500; ++i) {
    const double a = U(-3.1, 3.1), sc = U(0.5, 2.0);
    const TM truth{sc * std::cos(a), sc * std::sin(a), -sc * std::sin(a),
                   sc * std::cos(a), U(-5e4, 5e4),     U(-5e4, 5e4)};
    const NewWorldPt s0 = P(), s1 = P();
    const TM tm = GetTM(s0, s1, truth.Map(s0), truth.Map(s1));
    ExpectTmNear(tm, truth, 1e-9);
  }
}

// A linear map that rotates by deg degrees, scales x by sx and y by sy, then shears by shearDeg.
TM Linear(double deg, double sx, double sy, double shearDeg) {
  const double a = deg * std::numbers::pi / 180, t = std::tan(shearDeg * std::numbers::pi / 180);
  // Columns: the images of the x and y axes.
  const double xx = sx, xy = 0, yx = sy * t, yy = sy;
  TM tm = TM::Identity();
  tm.m11 = std::cos(a) * xx - std::sin(a) * xy;
  tm.m12 = std::sin(a) * xx + std::cos(a) * xy;
  tm.m21 = std::cos(a) * yx - std::sin(a) * yy;
  tm.m22 = std::sin(a) * yx + std::cos(a) * yy;
  tm.dx = 1234;
  tm.dy = -567;
  return tm;
}

TEST(TransformPlausible, RotationIsFreeScaleAndShearAreBounded) {
  for (double deg : {0.0, 3.0, -45.0, 179.0}) {
    EXPECT_TRUE(kx::TransformPlausible(Linear(deg, 1, 1, 0), 0.02, 1.0)) << deg;
    EXPECT_TRUE(kx::TransformPlausible(Linear(deg, 1.019, 0.981, 0.95), 0.02, 1.0)) << deg;
    EXPECT_FALSE(kx::TransformPlausible(Linear(deg, 1.021, 1, 0), 0.02, 1.0)) << deg;
    EXPECT_FALSE(kx::TransformPlausible(Linear(deg, 1, 0.979, 0), 0.02, 1.0)) << deg;
    EXPECT_FALSE(kx::TransformPlausible(Linear(deg, 1, 1, 1.05), 0.02, 1.0)) << deg;
    EXPECT_FALSE(kx::TransformPlausible(Linear(deg, 1, 1, -1.05), 0.02, 1.0)) << deg;
  }
  // A mirrored print, or marks that coincide, are no print of the document at all.
  TM mirrored = TM::Identity();
  mirrored.m22 = -1;
  EXPECT_FALSE(kx::TransformPlausible(mirrored, 0.02, 1.0));
  TM degenerate = TM::Identity();
  degenerate.m11 = degenerate.m22 = 0;
  EXPECT_FALSE(kx::TransformPlausible(degenerate, 0.02, 1.0));
}

}  // namespace
