// End-to-end: sheets registered and cut on the simulated machine, with placement error planted.
#include <gtest/gtest.h>

#include "host/Database.h"
#include "tests/support/ScenarioFixture.h"

namespace kx::test {
namespace {

// A cut within this of the printed contour everywhere counts as registered: 0.25 mm.
constexpr double kTolerance = 0.25 / 0.0254;

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
  RunHarness h(SheetWorld(2, 3), "sheet-2x3");
  const auto before = BoundsOf(h.scenario.Doc().paths);
  EXPECT_EQ(h.Run(h.GridPlan(2, 3)), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  const std::vector<std::pair<int, int>> serpentine = {{0, 0}, {0, 1}, {0, 2},
                                                       {1, 2}, {1, 1}, {1, 0}};
  EXPECT_EQ(h.CutOrder(), serpentine);
  for (const CopyRecord& c : h.recorder->Copies()) {
    EXPECT_LT(c.score.maxError, kTolerance) << "copy " << c.copy;
    EXPECT_GT(c.score.points, 100u) << "copy " << c.copy;
  }
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
  EXPECT_NEAR(h.Head().y, 0.0, 3.0);
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
  RunHarness h(world, "sheet-rotated");
  EXPECT_EQ(h.Run(h.GridPlan(1, 1)), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  ASSERT_EQ(h.recorder->Copies().size(), 1u);
  const CopyRecord& c = h.recorder->Copies()[0];
  EXPECT_LT(c.score.maxError, kTolerance);
  // The transform found carries the planted rotation (2.5 degrees, about 0.0436 rad).
  EXPECT_NEAR(std::atan2(c.knifeFromDoc.m12, c.knifeFromDoc.m11), 2.5 * CV_PI / 180, 0.003);
}

TEST(SheetRun, AJobOfMarksOnlyHandsAnEmptyListToTheCutter) {
  RunHarness h(SheetWorld(1, 1), "marks-only", [](JobDescription& job) { job.cutPaths.clear(); });
  EXPECT_EQ(h.Run(h.GridPlan(1, 1)), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  ASSERT_EQ(h.recorder->Copies().size(), 1u);
  EXPECT_TRUE(h.scenario.Machine().Cutter().Cuts().empty());
  // The cutter was told around the (empty) cut: 2 at the start, 0 before, 2 after.
  std::vector<int> states;
  for (const auto& v : h.scenario.Machine().Cutter().DeviceValues())
    if (v.code == kDevCodeCutState) states.push_back(v.value);
  EXPECT_EQ(states, (std::vector<int>{2, 0, 2}));
}

}  // namespace
}  // namespace kx::test
