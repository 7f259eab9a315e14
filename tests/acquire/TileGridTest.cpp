// The acquisition grid's arithmetic against hand-worked cases.
#include <gtest/gtest.h>

#include "acquire/TileGrid.h"

namespace kx {
namespace {

bool Same(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

TEST(SpanGrid, EndGrowsAColumnForEveryTileWidthStarted) {
  // Scale 1: a tile is 480 x 640 cutter units.
  EXPECT_EQ(SpanGrid({1000, 1000}, {1000, 1000}, 1.0).cols, 1);
  EXPECT_EQ(SpanGrid({1000, 1000}, {1480, 1000}, 1.0).cols, 2);
  EXPECT_EQ(SpanGrid({1000, 1000}, {1481, 1000}, 1.0).cols, 3);
  const GridSpan three = SpanGrid({1000, 1000}, {1960, 1000}, 1.0);
  EXPECT_EQ(three.cols, 3);
  EXPECT_EQ(three.rows, 1);
  EXPECT_EQ(three.originCol, 0);
  EXPECT_EQ(three.originRow, 0);
  EXPECT_TRUE(Same(three.head, {1000, 1000}));
  EXPECT_EQ(SpanGrid({1000, 1000}, {1961, 1000}, 1.0).cols, 4);
}

TEST(SpanGrid, EndAnchorsTheGridAtTheLowerLeftCornerWhicheverWayItWasDrawn) {
  const GridSpan g = SpanGrid({2000, 3000}, {1000, 1000}, 1.0);
  EXPECT_EQ(g.cols, 4);  // dX 1000
  EXPECT_EQ(g.rows, 5);  // dY 2000
  EXPECT_EQ(g.originCol, 0);
  EXPECT_EQ(g.originRow, 4);
  EXPECT_TRUE(Same(g.head, {1000, 1000}));
  // Mixed corners: start upper left, head lower right.
  const GridSpan m = SpanGrid({1000, 5000}, {3000, 2000}, 1.6);
  EXPECT_EQ(m.cols, 4);  // 2000 / 768 = 2.6 tile widths
  EXPECT_EQ(m.rows, 4);  // 3000 / 1024 = 2.9 tile heights
  EXPECT_TRUE(Same(m.head, {1000, 2000}));
}

TEST(TileTarget, TilesStepByOneFrameAtScaleAndStopAtZero) {
  // Scale 1, origin (1, 1), reference (1000, 2000).
  EXPECT_TRUE(Same(TileTarget({1000, 2000}, 0, 0, 1, 1, 1.0), {520, 2640}));
  EXPECT_TRUE(Same(TileTarget({1000, 2000}, 2, 2, 1, 1, 1.0), {1480, 1360}));
  EXPECT_TRUE(Same(TileTarget({1000, 2000}, 1, 1, 1, 1, 1.0), {1000, 2000}));
  // Truncation of each step: 1.01 x 480 = 484.8 becomes 484.
  EXPECT_TRUE(Same(TileTarget({1000, 2000}, 1, 0, 0, 0, 1.01), {1484, 2000}));
  // A tile left of or below the bed's origin is taken at 0.
  EXPECT_TRUE(Same(TileTarget({300, 200}, 0, 1, 1, 0, 1.0), {0, 0}));
}

TEST(ClickTarget, TheClickedPointComesUnderTheCrosshair) {
  const RECT view{100, 50, 292, 306};  // 192 x 256, centre (196, 178)
  EXPECT_TRUE(Same(ClickTarget({5000, 5000}, {244, 178}, view, 0, 1.0), {5120, 5000}));
  EXPECT_TRUE(Same(ClickTarget({5000, 5000}, {244, 178}, view, MK_CONTROL, 1.0), {5240, 5000}));
  EXPECT_TRUE(
      Same(ClickTarget({5000, 5000}, {244, 178}, view, MK_CONTROL | MK_SHIFT, 1.0), {5480, 5000}));
  EXPECT_TRUE(Same(ClickTarget({5000, 5000}, {244, 178}, view, MK_SHIFT, 1.0), {5120, 5000}));
  // Below the centre is towards smaller y; the centre itself does not move the head.
  EXPECT_TRUE(Same(ClickTarget({5000, 5000}, {196, 210}, view, 0, 1.0), {5000, 4920}));
  EXPECT_TRUE(Same(ClickTarget({5000, 5000}, {196, 178}, view, 0, 1.6), {5000, 5000}));
  // Never below the origin.
  EXPECT_TRUE(Same(ClickTarget({50, 50}, {100, 306}, view, 0, 1.0), {0, 0}));
}

}  // namespace
}  // namespace kx
