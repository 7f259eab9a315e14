// The mark search's stepping moves, its retry limits and the centring test, with hand-checked
// numbers: a 101 x 61 pixel reference area (odd, so that integer halves show) at 1.25 cutter units
// a pixel (so that truncation toward zero shows).
#include <gtest/gtest.h>

#include "vision/MarkSearch.h"

namespace {

using kx::HeadStep;

const cv::Size kArea(101, 61);  // halves: 50 and 30
constexpr double kScale = 1.25;

TEST(FirstMarkStep, HalfAnAreaAlongTheCopyDirectionSignedByTheRow) {
  // 50 * 1.25 = 62.5 and 30 * 1.25 = 37.5, truncated toward zero on both sides.
  EXPECT_EQ(kx::FirstMarkStep(kArea, kScale, 1, 1, 0), (HeadStep{62, 0}));
  EXPECT_EQ(kx::FirstMarkStep(kArea, kScale, -1, 1, 0), (HeadStep{-62, 0}));
  EXPECT_EQ(kx::FirstMarkStep(kArea, kScale, 1, 0, 1), (HeadStep{0, 37}));
  EXPECT_EQ(kx::FirstMarkStep(kArea, kScale, -1, 0, 1), (HeadStep{0, -37}));
}

TEST(LaterMarkStep, FourMovesAroundThePredictionThenNone) {
  // Rows in +1 direction: half up, a whole area down (61 * 1.25 = 76.25), half right and half up,
  // a whole area left (101 * 1.25 = 126.25) and half up.
  EXPECT_EQ(kx::LaterMarkStep(0, kArea, kScale, 1), (HeadStep{0, 37}));
  EXPECT_EQ(kx::LaterMarkStep(1, kArea, kScale, 1), (HeadStep{0, -76}));
  EXPECT_EQ(kx::LaterMarkStep(2, kArea, kScale, 1), (HeadStep{62, 37}));
  EXPECT_EQ(kx::LaterMarkStep(3, kArea, kScale, 1), (HeadStep{-126, 37}));
  // Rows in -1 direction: every y move turns round, the x moves stay.
  EXPECT_EQ(kx::LaterMarkStep(0, kArea, kScale, -1), (HeadStep{0, -37}));
  EXPECT_EQ(kx::LaterMarkStep(1, kArea, kScale, -1), (HeadStep{0, 76}));
  EXPECT_EQ(kx::LaterMarkStep(2, kArea, kScale, -1), (HeadStep{62, -37}));
  EXPECT_EQ(kx::LaterMarkStep(3, kArea, kScale, -1), (HeadStep{-126, -37}));
  EXPECT_EQ(kx::LaterMarkStep(4, kArea, kScale, 1), (HeadStep{0, 0}));
  EXPECT_EQ(kx::LaterMarkStep(-1, kArea, kScale, 1), (HeadStep{0, 0}));
}

TEST(MarkCentred, WithinMaxErrorOnBothAxesInclusive) {
  EXPECT_TRUE(kx::MarkCentred(6, -6, 6));
  EXPECT_FALSE(kx::MarkCentred(7, 0, 6));
  EXPECT_FALSE(kx::MarkCentred(0, -7, 6));
}

TEST(MarkSearchLimit, FirstMarkCountsFailedSearchesUpToFive) {
  const kx::MarkSearchLimit& first = kx::kFirstMarkLimit;
  // A failed search counts whether the head had stepped or centred before it.
  EXPECT_EQ(kx::NextSearchCount(first, 2, true, false), 3);
  EXPECT_EQ(kx::NextSearchCount(first, 2, false, false), 3);
  EXPECT_EQ(kx::NextSearchCount(first, 2, true, true), 2);
  EXPECT_EQ(kx::NextSearchCount(first, 2, false, true), 2);
  EXPECT_FALSE(kx::SearchGivesUp(first, 4));
  EXPECT_TRUE(kx::SearchGivesUp(first, 5));
}

TEST(MarkSearchLimit, LaterMarksCountSteppingMovesUpToFour) {
  const kx::MarkSearchLimit& later = kx::kLaterMarkLimit;
  // A stepping move counts whatever the search after it finds; centring never counts.
  EXPECT_EQ(kx::NextSearchCount(later, 2, true, false), 3);
  EXPECT_EQ(kx::NextSearchCount(later, 2, true, true), 3);
  EXPECT_EQ(kx::NextSearchCount(later, 2, false, false), 2);
  EXPECT_EQ(kx::NextSearchCount(later, 2, false, true), 2);
  EXPECT_FALSE(kx::SearchGivesUp(later, 3));
  EXPECT_TRUE(kx::SearchGivesUp(later, 4));
}

}  // namespace
