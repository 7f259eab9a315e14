// End-to-end: a machine that misbehaves mid-run (the head does not move, stalls beside a mark,
// reads its position with noise, the camera stops) ends the run in bounded virtual time with a
// message saying what happened, the knife up and nothing counted as cut that was not.
#include <gtest/gtest.h>

#include <atomic>

#include "host/Settings.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

double VirtualSeconds(RunHarness& h) {
  return static_cast<double>(h.scenario.Clock().NowMicros()) / 1e6;
}

// The knife is up at the end: the last move the cutter was sent lifts the knife, and every
// knife-down move was over before it began.
void ExpectKnifeUp(RunHarness& h) {
  const SimCutter& cutter = h.scenario.Machine().Cutter();
  const std::vector<CutterMove> moves = cutter.Moves();
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().mode, kMoveTravel);
  for (const KnifeCut& c : cutter.Cuts()) EXPECT_LE(c.end, moves.back().start);
}

// What the world file's fault options do on the machine they describe.
TEST(MachineFault, WorldFaultsActOnTheCutterAndTheCamera) {
  WorldOptions w = SheetWorld(1, 1, 41);
  w.faults.noMotion = true;
  w.faults.positionNoise = 30;
  w.faults.fromSeconds = 2;
  w.faults.cameraStopsAt = 3;
  ScratchFolder scratch;
  Scenario s(w, scratch / "config");
  SimCutter& cutter = s.Machine().Cutter();
  // Before fromSeconds the head moves and reads true.
  cutter.sendxyNoW(3000, 0, kMoveTravel);
  s.Clock().Advance(1'000'000);
  std::int32_t xy[2] = {};
  cutter.GetPlotterData(kPortNoIndex, kPlotterDataHeadPosition, xy);
  EXPECT_EQ(xy[0], 3000);
  EXPECT_EQ(xy[1], 0);
  // From then on moves are ignored and readings scatter within the amplitude.
  s.Clock().Advance(1'500'000);
  cutter.sendxyNoW(9000, 9000, kMoveTravel);
  s.Clock().Advance(2'000'000);
  EXPECT_EQ(cutter.Position(), cv::Point2d(3000, 0));
  int differing = 0;
  for (int i = 0; i < 50; ++i) {
    cutter.GetPlotterData(kPortNoIndex, kPlotterDataHeadPosition, xy);
    EXPECT_LE(std::abs(xy[0] - 3000), 30);
    EXPECT_LE(std::abs(xy[1]), 30);
    differing += xy[0] != 3000 || xy[1] != 0;
  }
  EXPECT_GT(differing, 40);
}

TEST(MachineFault, ACameraThatStopsDeliversNothingFromThenOn) {
  WorldOptions w = SheetWorld(1, 1, 42);
  w.faults.cameraStopsAt = 1;
  ScratchFolder scratch;
  Scenario s(w, scratch / "config");
  std::atomic<int> frames{0};
  s.Machine().Cam().AddSink([](BYTE*, DWORD, DWORD, DWORD, DWORD, DWORD, void* context,
                               void*) { *static_cast<std::atomic<int>*>(context) += 1; },
                            &frames);
  s.Clock().Advance(500'000);
  EXPECT_EQ(frames.load(), 7) << "frames 1 to 7 of 15 a second fell due by 0.5 s";
  for (int i = 0; i < 30; ++i) s.Clock().Advance(100'000);
  s.Machine().Cam().RemoveSink(&frames);
  // Frames fell due until the camera stopped at 1 s (frame 15 is due at 1 s: not delivered).
  EXPECT_EQ(frames.load(), 14);
}

TEST(MachineFault, AHeadThatStopsMovingEndsTheRunSayingSo) {
  RunHarness h(SheetWorld(1, 2, 43));
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::Call([&] {
              h.scenario.Machine().Cutter().SetNoMotion(true);
            }).When([&] { return h.dialog->IsRunning(); }));
  };
  h.op.ExpectBox("The cutter head did not move. Check the cutter; the run stops.", IDOK);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2, .duringRun = duringRun})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the fault was reported";
  EXPECT_THAT(h.Copies(), IsEmpty());
  EXPECT_THAT(h.scenario.Machine().Cutter().Cuts(), IsEmpty());
  EXPECT_LT(VirtualSeconds(h), 120.0);
  ExpectKnifeUp(h);
}

TEST(MachineFault, AHeadStalledBesideAMarkEndsInTheFailureDialogue) {
  RunHarness h(SheetWorld(1, 1, 44));
  // The head stops for good some 60 units short of the copy's second mark, on its way there
  // (the prediction from one mark misses by tens of units on a turned sheet, hence the wide
  // catch): the mark is in view but the camera can never be centred on it.
  const cv::Point2d m0 = h.scenario.HeadOverMark(0, 0);
  const cv::Point2d m1 = h.scenario.HeadOverMark(0, 1);
  const cv::Point2d stall = m1 + (m0 - m1) * (60.0 / cv::norm(m0 - m1));
  h.scenario.Machine().Cutter().InjectStall(stall, 80.0);
  EXPECT_EQ(h.Run(h.OnGrid({.failures = {{.answer = IDCANCEL}}})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the search's failure dialogue was shown";
  EXPECT_THAT(h.Copies(), IsEmpty());
  EXPECT_LT(cv::norm(h.Head() - stall), 81.0) << "stalled where it was";
  EXPECT_LT(VirtualSeconds(h), 120.0);
  ExpectKnifeUp(h);
}

TEST(MachineFault, ModestPositionNoiseCostsTheRunLittleTimeAndNoAccuracy) {
  // The same run on a clean machine and on one whose readings are off by up to 20 units.
  double clean = 0;
  for (const int noise : {0, 20}) {
    SCOPED_TRACE(noise);
    RunHarness h(SheetWorld(1, 2, 45));
    const auto duringRun = [&](ScriptedOperator& op) {
      op.Then(ScriptedOperator::Call([&] {
                h.scenario.Machine().Cutter().SetPositionNoise(noise);
              }).When([&] { return h.dialog->IsRunning(); }));
    };
    EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2, .duringRun = duringRun})), 0);
    EXPECT_THAT(h.Copies(), ElementsAre(CutWithin(kRunToleranceMm), CutWithin(kRunToleranceMm)));
    EXPECT_LT(cv::norm(h.Head()), 3.0 + 2 * noise);
    if (noise == 0)
      clean = VirtualSeconds(h);
    else
      EXPECT_LT(VirtualSeconds(h), 1.5 * clean);
  }
}

TEST(MachineFault, HeavyPositionNoiseEndsTheRunSayingSo) {
  RunHarness h(SheetWorld(1, 2, 46));
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::Call([&] {
              h.scenario.Machine().Cutter().SetPositionNoise(100);
            }).When([&] { return h.dialog->IsRunning(); }));
  };
  h.op.ExpectBox("The cutter head's position readings vary by up to", IDOK);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2, .duringRun = duringRun})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the fault was reported";
  EXPECT_FALSE(h.dialog->IsRunning());
  EXPECT_LT(VirtualSeconds(h), 300.0);
  for (const CopyRecord& c : h.Copies()) EXPECT_TRUE(c.cut);
  ExpectKnifeUp(h);
}

TEST(MachineFault, ACameraThatStopsMidRunEndsTheRunSayingSo) {
  RunHarness h(SheetWorld(1, 3, 47));
  double stoppedAt = 0;
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::Call([&] {
              stoppedAt = VirtualSeconds(h);
              h.scenario.Machine().Cam().StopDeliveringAt(h.scenario.Clock().NowMicros());
            }).When([&] { return h.Copies().size() == 1 && !h.dialog->IsMoving(); }));
  };
  h.op.ExpectBox("The camera delivers no frames (none for 30 s). Check the camera; the run stops.",
                 IDOK);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 3, .duringRun = duringRun})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the fault was reported";
  ASSERT_EQ(h.Copies().size(), 1u) << "nothing registered on frames that no longer came";
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  // The frame timeout (30 s) after the last frame, plus the search that noticed it.
  EXPECT_LT(VirtualSeconds(h) - stoppedAt, 45.0);
  ExpectKnifeUp(h);
}

TEST(MachineFault, AHeadThatDoesNotComeToRestInTimeEndsTheRunAfterTheCut) {
  RunHarness h(SheetWorld(1, 2, 48));
  // A copy's cut takes the simulated cutter several seconds: with a head timeout of one second
  // the rest wait after it gives up.
  WriteIntDeviceSetup("KestrixHeadTimeout", 1);
  h.op.ExpectBox(
      "The cutter head did not come to rest within 1 s. Check the cutter; the run stops.", IDOK);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the fault was reported";
  ASSERT_EQ(h.Copies().size(), 1u) << "the run stopped after the first copy";
  EXPECT_TRUE(h.Copies()[0].cut);
  // The driver was still told the cut had ended.
  std::vector<int> states;
  for (const auto& v : h.scenario.Machine().Cutter().DeviceValues())
    if (v.code == kDevCodeCutState) states.push_back(v.value);
  EXPECT_EQ(states, (std::vector<int>{2, 0, 2}));
  ExpectKnifeUp(h);
}

}  // namespace
}  // namespace kx::test
