// End-to-end: sheets registered and cut on the simulated machine, with placement error planted.
#include <gtest/gtest.h>

#include "host/Database.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Gt;
using ::testing::IsEmpty;

std::vector<BOUNDS> BoundsOf(const std::vector<uint64>& objects) {
  std::vector<BOUNDS> out;
  for (uint64 h : objects) {
    BOUNDS b{};
    DBGetObjectBounds(h, &b);
    out.push_back(b);
  }
  return out;
}

TEST(SheetRun, TwoByThreeCutInSerpentineOrderAndBackAtTheOrigin) {
  RunHarness h(SheetWorld(2, 3));
  const auto before = BoundsOf(h.scenario.Doc().paths);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesX = 2, .copiesY = 3})), 0);
  const std::vector<std::pair<int, int>> serpentine = {{0, 0}, {0, 1}, {0, 2},
                                                       {1, 2}, {1, 1}, {1, 0}};
  EXPECT_EQ(h.CutOrder(), serpentine);
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  // Every copy's whole contour was cut, not a piece of it.
  EXPECT_THAT(h.Copies(), Each(Field(&CopyRecord::score, Field(&CutScore::points, Gt(100u)))));
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
  EXPECT_EQ(BoundsOf(h.scenario.Doc().paths), before) << "the job's own objects are never changed";
}

TEST(SheetRun, RotatedScaledAndShearedSheetIsRegistered) {
  WorldOptions world = SheetWorld(1, 1, 11);
  world.sheet.rotation = 2.5;
  world.sheet.scaleX = 1.012;
  world.sheet.scaleY = 0.991;
  world.sheet.shear = 0.003;
  world.sheet.offsetX = 3100;
  world.sheet.offsetY = 2200;
  RunHarness h(world);
  EXPECT_EQ(h.Run(h.OnGrid({})), 0);
  ASSERT_THAT(h.Copies(), ElementsAre(CutWithin(kRunToleranceMm)));
  const CopyRecord& c = h.recorder->Copies()[0];
  // The transform found carries the planted rotation (2.5 degrees, about 0.0436 rad).
  EXPECT_NEAR(std::atan2(c.knifeFromDoc.m12, c.knifeFromDoc.m11), 2.5 * CV_PI / 180, 0.003);
}

TEST(SheetRun, AJobOfMarksOnlyHandsAnEmptyListToTheCutter) {
  RunHarness h(SheetWorld(1, 1), [](JobDescription& job) { job.cutPaths.clear(); });
  EXPECT_EQ(h.Run(h.OnGrid({})), 0);
  ASSERT_EQ(h.Copies().size(), 1u);
  EXPECT_THAT(h.scenario.Machine().Cutter().Cuts(), IsEmpty());
  // The cutter was told around the (empty) cut: 2 at the start, 0 before, 2 after.
  std::vector<int> states;
  for (const auto& v : h.scenario.Machine().Cutter().DeviceValues())
    if (v.code == kDevCodeCutState) states.push_back(v.value);
  EXPECT_EQ(states, (std::vector<int>{2, 0, 2}));
}

}  // namespace
}  // namespace kx::test
