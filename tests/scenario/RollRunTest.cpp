// End-to-end: rolls run until the material ends, along either axis.
#include <gtest/gtest.h>

#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

TEST(RollRun, RowsRunAlongTheRollDirectionAndStepAcrossUntilTheMaterialEnds) {
  const struct {
    int rollDir;
    int columns, rows;
    std::uint64_t seed;
    std::vector<std::pair<int, int>> order;
  } cases[] = {
      {.rollDir = 0, .columns = 1, .rows = 2, .seed = 22, .order = {{0, 0}, {0, 1}}},  // along y
      {.rollDir = 1, .columns = 2, .rows = 1, .seed = 21, .order = {{0, 0}, {1, 0}}},  // along x
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rollDir);
    RunHarness h(SheetWorld(c.columns, c.rows, c.seed));
    // The search for the copy beyond the material fails and the user cancels.
    EXPECT_EQ(
        h.Run(h.OnGrid({.roll = true, .rollDir = c.rollDir, .failures = {{.answer = IDCANCEL}}})),
        0);
    EXPECT_EQ(h.CutOrder(), c.order);
    EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
  }
}

}  // namespace
}  // namespace kx::test
