// End-to-end: rolls run until the material ends, along either axis.
#include <gtest/gtest.h>

#include "tests/support/ScenarioFixture.h"

namespace kx::test {
namespace {

TEST(RollRun, RollDirectionOneRunsRowsAlongYAndStepsAlongXUntilTheMaterialEnds) {
  RunHarness h(SheetWorld(2, 1, 21), "roll-dir-1");
  RunPlan plan = h.GridPlan(1, 1);
  plan.roll = true;
  plan.rollDir = 1;
  plan.failures.push_back({IDCANCEL, 0});  // no copy beyond the second column
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  EXPECT_EQ(h.CutOrder(), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
  EXPECT_NEAR(h.Head().y, 0.0, 3.0);
}

TEST(RollRun, RollDirectionZeroRunsRowsAlongXAndStepsAlongY) {
  RunHarness h(SheetWorld(1, 2, 22), "roll-dir-0");
  RunPlan plan = h.GridPlan(1, 1);
  plan.roll = true;
  plan.rollDir = 0;
  plan.failures.push_back({IDCANCEL, 0});
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  EXPECT_EQ(h.CutOrder(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}}));
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
}

}  // namespace
}  // namespace kx::test
