// End-to-end through the real serial driver: the fake plotter's parsed moves drive the simulated
// head, so a whole run goes over the pseudo-terminal in each dialect and must cut as well as the
// simulated driver does.
#include <gtest/gtest.h>

#include "host/DriverSession.h"
#include "host/ResourceIds.h"
#include "platform/Input.h"
#include "scenario/HardwareLoop.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;

class HardwareLoopRun : public ::testing::TestWithParam<CutterProtocol> {};

TEST_P(HardwareLoopRun, ASheetIsRegisteredAndCutThroughTheSerialDriver) {
  RunHarness h(SheetWorld(2, 1, 5));
  std::string error;
  std::unique_ptr<HardwareLoop> loop = HardwareLoop::Start(h.scenario, GetParam(), &error);
  ASSERT_TRUE(loop) << error;
  JOBDATA job{};
  ASSERT_TRUE(OpenDriver(&job));
  EXPECT_EQ(h.Run(h.OnGrid({.copiesX = 2, .copiesY = 1})), 0);
  CloseDriver(&job);
  EXPECT_FALSE(loop->Cutter().Failed()) << loop->Cutter().LastError();
  ASSERT_EQ(h.Copies().size(), 2u);
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
  // The cuts the camera saw are the plotter's: its knife-down strokes, and it ends knife up.
  std::size_t cutStrokes = 0;
  for (const PlotterStroke& s : loop->Plotter().Strokes()) cutStrokes += s.mode == kMoveCut;
  EXPECT_GT(cutStrokes, 100u);
  EXPECT_EQ(cutStrokes, h.scenario.Machine().Cutter().Cuts().size());
  EXPECT_FALSE(loop->Plotter().KnifeDown());
}

TEST_P(HardwareLoopRun, StopMidCutFinishesThatCutAndTheDeviceEndsKnifeUp) {
  RunHarness h(SheetWorld(1, 2, 35));
  std::string error;
  std::unique_ptr<HardwareLoop> loop = HardwareLoop::Start(h.scenario, GetParam(), &error);
  ASSERT_TRUE(loop) << error;
  bool stoppedMidCut = false;
  const auto duringRun = [&](ScriptedOperator& op) {
    // The copy's cut has gone over the line and the head is still cutting it.
    op.Then(ScriptedOperator::Call([&] {
              stoppedMidCut =
                  h.scenario.Clock().NowMicros() < h.scenario.Machine().Cutter().BusyUntil();
              PostMessage(h.dialog->GetSafeHwnd(), WM_COMMAND, IDC_KX_STOP, 0);
            }).When([&] {
      const std::vector<CutterMove> moves = h.scenario.Machine().Cutter().Moves();
      const std::int64_t now = h.scenario.Clock().NowMicros();
      return h.Copies().size() == 1 && !moves.empty() && moves.back().mode == kMoveTravel &&
             now < moves.back().start;
    }));
  };
  h.Run(h.OnGrid({.copiesY = 2, .duringRun = duringRun}));
  EXPECT_TRUE(stoppedMidCut) << "Stop was pressed while the knife was still cutting";
  EXPECT_FALSE(loop->Cutter().Failed()) << loop->Cutter().LastError();
  ASSERT_EQ(h.Copies().size(), 1u);
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  EXPECT_FALSE(loop->Plotter().KnifeDown());
  const std::vector<PlotterStroke> strokes = loop->Plotter().Strokes();
  ASSERT_FALSE(strokes.empty());
  EXPECT_EQ(strokes.back().mode, kMoveTravel);
}

std::string DialectName(const ::testing::TestParamInfo<CutterProtocol>& param) {
  return param.param == CutterProtocol::Hpgl ? "Hpgl" : "Grbl";
}

INSTANTIATE_TEST_SUITE_P(Dialects, HardwareLoopRun,
                         ::testing::Values(CutterProtocol::Hpgl, CutterProtocol::Grbl),
                         DialectName);

}  // namespace
}  // namespace kx::test
