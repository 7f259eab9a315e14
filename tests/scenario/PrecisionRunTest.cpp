// End-to-end: the run in precision mode on the simulated machine, against the described run.
#include <functional>

#include <gtest/gtest.h>

#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// Largest cut error of any copy, millimetres.
double WorstMm(const std::vector<CopyRecord>& copies) {
  double worst = 0;
  for (const CopyRecord& c : copies) worst = std::max(worst, c.score.maxError * kMmPerCutterUnit);
  return worst;
}

TEST(PrecisionRun, EveryCopyOfASheetIsCutCloserThanTheDescribedRun) {
  RunHarness precise(SheetWorld(2, 2));
  EXPECT_EQ(precise.Run(precise.OnGrid({.precision = 1, .copiesX = 2, .copiesY = 2})), 0);
  ASSERT_THAT(precise.Copies(), SizeIs(4));
  EXPECT_THAT(precise.Copies(), Each(CutWithin(0.03)));
  EXPECT_THAT(precise.Head(), HeadAtOrigin(kHomeToleranceUnits));
  // 0.027 mm on this sheet; a reference whose corner letters sit up to a pixel from the print
  // (the world's "textAsPrinted" false) pulls two marks and gives 0.028.
  const double preciseWorst = WorstMm(precise.Copies());
  EXPECT_LT(preciseWorst, 0.0275);

  RunHarness described(SheetWorld(2, 2));
  EXPECT_EQ(described.Run(described.OnGrid({.copiesX = 2, .copiesY = 2})), 0);
  ASSERT_THAT(described.Copies(), SizeIs(4));
  EXPECT_LT(preciseWorst, WorstMm(described.Copies()));
}

TEST(PrecisionRun, OtherCamerasNoiseAndARollStayWithinTheTarget) {
  const struct {
    const char* name;
    std::function<void(WorldOptions&)> change;
    RunPlan plan;
  } cases[] = {
      {"1.0 units a pixel", [](WorldOptions& w) { w.camera.scale = 1.0; }, {.copiesY = 2}},
      {"2.4 units a pixel", [](WorldOptions& w) { w.camera.scale = 2.4; }, {.copiesY = 2}},
      {"heavy noise and blur",
       [](WorldOptions& w) {
         w.camera.noiseSigma = 12;
         w.camera.blurSigma = 2;
       },
       {.copiesY = 2}},
      {"roll along x",
       [](WorldOptions& w) {
         w.copies.columns = 2;
         w.copies.rows = 1;
       },
       {.roll = true, .rollDir = 1, .failures = {{.answer = IDCANCEL}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WorldOptions world = SheetWorld(1, 2);
    c.change(world);
    RunHarness precise(world);
    RunPlan plan = c.plan;
    plan.precision = 1;
    EXPECT_EQ(precise.Run(precise.OnGrid(plan)), 0);
    ASSERT_THAT(precise.Copies(), SizeIs(2));
    EXPECT_THAT(precise.Copies(), Each(CutWithin(0.06)));
  }
}

TEST(PrecisionRun, ASheetRotatedThreeDegreesIsFollowedWithoutHelp) {
  // At the full pitch the next copy's mark lies hundreds of units aside of a straight step.
  WorldOptions world = SheetWorld(1, 3);
  world.copies.pitchY = 9000;
  world.sheet.rotation = 3.0;
  RunHarness precise(world);
  // No answer is scripted: a failure dialogue would fail the script.
  EXPECT_EQ(precise.Run(precise.OnGrid({.precision = 1, .copiesY = 3})), 0);
  ASSERT_THAT(precise.Copies(), SizeIs(3));
  // Each copy's marks are matched again with the reference turned as the print lies: a turned
  // sheet is cut as closely as a square one.
  EXPECT_THAT(precise.Copies(), Each(CutWithin(0.06)));

  // The described run steps straight along y and loses the second copy.
  RunHarness described(world);
  EXPECT_EQ(described.Run(
                described.OnGrid({.copiesY = 3, .failures = {FailureAnswer{.answer = IDCANCEL}}})),
            0);
  EXPECT_THAT(described.Copies(), SizeIs(1));
}

TEST(PrecisionRun, MarksGivingAnImplausibleTransformAreNeverCut) {
  // Printed 4 % too wide: no print of this document, whichever marks were found.
  WorldOptions world = SheetWorld(1, 1);
  world.sheet.scaleX = 1.04;
  RunHarness precise(world);
  EXPECT_EQ(precise.Run(
                precise.OnGrid({.precision = 1, .failures = {FailureAnswer{.answer = IDCANCEL}}})),
            0);
  EXPECT_THAT(precise.Copies(), IsEmpty());
  EXPECT_THAT(precise.scenario.Machine().Cutter().Cuts(), IsEmpty());
  EXPECT_THAT(precise.Head(), HeadAtOrigin(kHomeToleranceUnits));
}

}  // namespace
}  // namespace kx::test
