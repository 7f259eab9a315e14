// End-to-end: closing the run dialog while it drives the machine stops the run before it closes.
#include <gtest/gtest.h>

#include "platform/Input.h"
#include "tests/support/ReferencePixels.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The knife is up: the cutter's last move is a travel move and the cut state the driver was last
// told is 2 (not cutting).
void ExpectKnifeUp(RunHarness& h) {
  SimCutter& cutter = h.scenario.Machine().Cutter();
  const std::vector<CutterMove> moves = cutter.Moves();
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().mode, kMoveTravel);
  int lastState = -1;
  for (const DeviceValueRecord& v : cutter.DeviceValues())
    if (v.code == kDevCodeCutState) lastState = v.value;
  EXPECT_EQ(lastState, 2);
}

// The dialog window is gone and DoModal returned the framework's Cancel result.
void ExpectClosedByCancel(RunHarness& h, INT_PTR result) {
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(h.dialog->GetSafeHwnd(), nullptr);
  EXPECT_FALSE(h.dialog->IsRunning());
  EXPECT_FALSE(h.dialog->IsWaitingForPlacement());
}

TEST(CloseRun, EscapeWhileWaitingForPlacementByHandEndsTheRunAndCloses) {
  RunHarness h(SheetWorld(1, 1, 31), [](JobDescription& job) {
    const cv::Rect whole(0, 0, job.reference.cols, job.reference.rows);
    cv::RNG(5).fill(job.reference(MarkPixels(job, 1) & whole), cv::RNG::UNIFORM, 0, 256);
  });
  const auto duringRun = [&](ScriptedOperator& op) {
    op.ExpectBox("Unable to locate image", IDOK);
    op.ExpectBox("Please locate first registration area and click on Start.", IDOK);
    op.Then(ScriptedOperator::PressKey(VK_ESCAPE).When(
        [&] { return h.dialog->IsWaitingForPlacement(); }));
  };
  const INT_PTR result = h.Run(h.OnGrid({.closeAtEnd = false, .duringRun = duringRun}));
  ExpectClosedByCancel(h, result);
  EXPECT_THAT(h.Copies(), IsEmpty());
  EXPECT_THAT(h.scenario.Machine().Cutter().Cuts(), IsEmpty());
  ExpectKnifeUp(h);
  EXPECT_EQ(h.op.PendingBoxes(), 0u);
}

TEST(CloseRun, EscapeMidRunStopsBeforeTheNextCopyAndCloses) {
  RunHarness h(SheetWorld(1, 3, 33));
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::PressKey(VK_ESCAPE).When([&] { return h.Copies().size() == 1; }));
  };
  const INT_PTR result =
      h.Run(h.OnGrid({.copiesY = 3, .closeAtEnd = false, .duringRun = duringRun}));
  ExpectClosedByCancel(h, result);
  ASSERT_THAT(h.Copies(), ElementsAre(CutWithin(kRunToleranceMm)));
  EXPECT_GT(cv::norm(h.Head()), 1000.0) << "stopped where it was, not sent home";
  ExpectKnifeUp(h);
}

TEST(CloseRun, EscapeWhileTheHeadTravelsToTheNextCopyClosesWithoutAsking) {
  RunHarness h(SheetWorld(1, 2, 37));
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::PressKey(VK_ESCAPE).When([&] {
      return h.Copies().size() == 1 && h.dialog->IsMoving() &&
             cv::norm(h.Head() - h.scenario.HeadOverMark(0, 2)) > 1000;
    }));
  };
  const INT_PTR result =
      h.Run(h.OnGrid({.copiesY = 2, .closeAtEnd = false, .duringRun = duringRun}));
  ExpectClosedByCancel(h, result);  // an unexpected "Unable to locate image" fails the script
  EXPECT_EQ(h.Copies().size(), 1u);
  ExpectKnifeUp(h);
}

TEST(CloseRun, CloseBoxMidCutFinishesThatCutThenStopsAndCloses) {
  RunHarness h(SheetWorld(1, 2, 35));
  bool closedMidCut = false;
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::Call([&] {
              closedMidCut =
                  h.scenario.Clock().NowMicros() < h.scenario.Machine().Cutter().BusyUntil();
              PostMessage(h.dialog->GetSafeHwnd(), WM_CLOSE, 0, 0);
            }).When([&] {
      const std::vector<CutterMove> moves = h.scenario.Machine().Cutter().Moves();
      const std::int64_t now = h.scenario.Clock().NowMicros();
      return h.Copies().size() == 1 && !moves.empty() && moves.back().mode == kMoveTravel &&
             now < moves.back().start;
    }));
  };
  const INT_PTR result =
      h.Run(h.OnGrid({.copiesY = 2, .closeAtEnd = false, .duringRun = duringRun}));
  EXPECT_TRUE(closedMidCut) << "the close box was pressed while the knife was still cutting";
  ExpectClosedByCancel(h, result);
  // The copy handed to the cutter was cut whole; the second was never started.
  ASSERT_THAT(h.Copies(), ElementsAre(CutWithin(kRunToleranceMm)));
  EXPECT_GT(h.Copies()[0].score.points, 100u);
  ExpectKnifeUp(h);
}

}  // namespace
}  // namespace kx::test
