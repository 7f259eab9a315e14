// End-to-end: a sheet of copies registered and cut in the serpentine order on the simulated machine.
#include <gtest/gtest.h>

#include "tests/scenario/ScenarioFixture.h"

namespace kx::test {
namespace {

TEST(SheetRun, TwoByThreeCutInSerpentineOrderAndBackAtTheOrigin) {
  RunHarness h(SheetWorld(2, 3), "sheet-2x3");
  RunPlan plan;
  plan.copiesX = 2;
  plan.copiesY = 3;
  plan.stepX = h.scenario.GetWorld().Options().copies.pitchX / 1000.0;
  plan.stepY = h.scenario.GetWorld().Options().copies.pitchY / 1000.0;
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  const auto& copies = h.recorder->Copies();
  ASSERT_EQ(copies.size(), 6u);
  const int expected[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {1, 1}, {1, 0}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(copies[i].column, expected[i][0]) << "copy " << i;
    EXPECT_EQ(copies[i].row, expected[i][1]) << "copy " << i;
    EXPECT_LT(copies[i].score.maxError, 40.0) << "copy " << i;  // cutter units (1 mm = 39.4)
    EXPECT_GT(copies[i].score.points, 0u);
  }
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
  EXPECT_NEAR(h.Head().y, 0.0, 3.0);
}

}  // namespace
}  // namespace kx::test
