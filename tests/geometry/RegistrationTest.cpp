// Registration transforms: hand-checked cases where a fault would hide, and recovery properties.
#include <gtest/gtest.h>

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

TEST(TM, MapsWithTheHostsConvention) {
  const TM tm{2.0, 3.0, 5.0, 7.0, 11.0, 13.0};
  const NewWorldPt p = tm.Map({1.0, 10.0});
  EXPECT_DOUBLE_EQ(p.x, 2.0 * 1 + 5.0 * 10 + 11.0);
  EXPECT_DOUBLE_EQ(p.y, 3.0 * 1 + 7.0 * 10 + 13.0);
}

TEST(GetTMSimilarity, QuarterTurnFromPairsDifferingOnlyInY) {
  // ux = 0 takes the uy branch: k = 0, s = 1, a quarter turn followed by (5, 5).
  const TM tm = GetTM({0, 0}, {0, 1}, {5, 5}, {4, 5});
  EXPECT_EQ(tm, (TM{0.0, 1.0, -1.0, 0.0, 5.0, 5.0}));
}

TEST(GetTMSimilarity, DegenerateInputsGiveTheIdentityNotATranslation) {
  EXPECT_EQ(GetTM({3, 4}, {3, 4}, {10, 10}, {20, 30}), TM::Identity());
  NewWorldPt refs[3] = {{3, 4}, {3, 4}, {0, 0}};
  NewWorldPt found[3] = {{10, 10}, {20, 30}, {0, 0}};
  NewWorldPt out;
  EXPECT_TRUE(kx::GetRealPoint(2, {7, 8}, &out, refs, found));
  EXPECT_EQ(out, (NewWorldPt{7, 8}));
}

TEST(GetTMSimilarity, EqualMagnitudesPivotOnY) {
  // |ux| == |uy| takes the y equation; the result must still be the exact quarter turn.
  const TM tm = GetTM({0, 0}, {1, 1}, {0, 0}, {-1, 1});
  // Quarter turn: (1,1) -> (-1,1).
  EXPECT_NEAR(tm.m11, 0.0, 1e-15);
  EXPECT_NEAR(tm.m12, 1.0, 1e-15);
  EXPECT_NEAR(tm.m21, -1.0, 1e-15);
}

TEST(GetTMAffine, CollinearOrCoincidentSourcesGiveTheIdentity) {
  EXPECT_EQ(GetTM({0, 0}, {1, 1}, {2, 2}, {0, 0}, {5, 1}, {3, 9}), TM::Identity());
  EXPECT_EQ(GetTM({1, 1}, {1, 1}, {1, 1}, {0, 0}, {5, 1}, {3, 9}), TM::Identity());
}

TEST(GetTMAffine, PivotFallsToTheThirdEquationOnTies) {
  // a1 = a2 = a3 magnitudes tie -> the a3 equation is the pivot; the fit must still be exact.
  const NewWorldPt s0{0, 0}, s1{1, 5}, s2{2, 1};
  const TM truth{1.5, -0.25, 0.5, 2.0, 7.0, -3.0};
  const TM tm = GetTM(s0, s1, s2, truth.Map(s0), truth.Map(s1), truth.Map(s2));
  ExpectTmNear(tm, truth, 1e-12);
}

TEST(GetRealPoint, CountsOutsideOneToThreeUseTheIdentity) {
  NewWorldPt refs[3] = {{0, 0}, {100, 0}, {0, 100}};
  NewWorldPt found[3] = {{10, 20}, {110, 20}, {10, 120}};
  NewWorldPt out;
  for (int count : {0, 4, -1}) {
    EXPECT_TRUE(kx::GetRealPoint(count, {33, 44}, &out, refs, found));
    EXPECT_EQ(out, (NewWorldPt{33, 44}));
  }
  kx::GetRealPoint(1, {33, 44}, &out, refs, found);
  EXPECT_EQ(out, (NewWorldPt{43, 64}));
}

TEST(CalcPointTM, TruncatesTowardZero) {
  long x = 1, y = -1;
  EXPECT_TRUE(kx::CalcPointTM(TM::Translation(1.9, -1.9), &x, &y));
  EXPECT_EQ(x, 2);   // 2.9 -> 2
  EXPECT_EQ(y, -2);  // -2.9 -> -2
}

TEST(CalcPointTM, UsesTheInputForBothRows) {
  long x = 10, y = 20;
  kx::CalcPointTM(TM{0.0, 1.0, 1.0, 0.0, 0.0, 0.0}, &x, &y);  // swap
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

TEST_F(RandomMaps, TranslationRecoveredFromOnePair) {
  for (int i = 0; i < 200; ++i) {
    const NewWorldPt s = P(), d = P();
    const TM tm = GetTM(s, d);
    EXPECT_EQ(tm.m11, 1.0);
    EXPECT_EQ(tm.m22, 1.0);
    EXPECT_EQ(tm.m12, 0.0);
    EXPECT_EQ(tm.m21, 0.0);
    EXPECT_NEAR(tm.Map(s).x, d.x, 1e-9);
    EXPECT_NEAR(tm.Map(s).y, d.y, 1e-9);
  }
}

TEST_F(RandomMaps, PredictionWithThreeMarksMatchesTheAffineFit) {
  for (int i = 0; i < 100; ++i) {
    const TM truth{U(0.9, 1.1), U(-0.1, 0.1), U(-0.1, 0.1),
                   U(0.9, 1.1), U(-1e3, 1e3), U(-1e3, 1e3)};
    NewWorldPt refs[3] = {{0, 0}, {10000, 0}, {0, 8000}};
    NewWorldPt found[3] = {truth.Map(refs[0]), truth.Map(refs[1]), truth.Map(refs[2])};
    const NewWorldPt q = P();
    NewWorldPt out;
    kx::GetRealPoint(3, q, &out, refs, found);
    EXPECT_NEAR(out.x, truth.Map(q).x, 1e-6);
    EXPECT_NEAR(out.y, truth.Map(q).y, 1e-6);
  }
}

}  // namespace
