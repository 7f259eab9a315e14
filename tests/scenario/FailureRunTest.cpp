// End-to-end: marks that cannot be found, the failure dialogue, manual placement and Stop.
#include <gtest/gtest.h>

#include "host/Database.h"
#include "platform/Wnd.h"
#include "tests/support/ReferencePixels.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Replaces the reference picture of one mark with noise, so the camera never finds that mark.
std::function<void(JobDescription&)> SpoilMark(int mark) {
  return [mark](JobDescription& job) {
    const cv::Rect whole(0, 0, job.reference.cols, job.reference.rows);
    cv::Mat spoilt = job.reference(MarkPixels(job, mark) & whole);
    cv::RNG(5).fill(spoilt, cv::RNG::UNIFORM, 0, 256);
  };
}

// The scenario's host in every way but one: it has no cutter, so it cuts nothing.
class HostWithoutCutter final : public IHost {
 public:
  explicit HostWithoutCutter(IHost& inner) : m_inner(inner) {}
  IObjectDatabase& Database() override { return m_inner.Database(); }
  ISettingsStore& Settings() override { return m_inner.Settings(); }
  ITranslator& Translator() override { return m_inner.Translator(); }
  bool CutSection(const CQvSimpleList<uint64>&, const TM*) override { return false; }

 private:
  IHost& m_inner;
};

TEST(FailureRun, ACopyTheHostCannotCutIsRecordedNotCutAndTheRunStops) {
  RunHarness h(SheetWorld(1, 2, 36));
  HostWithoutCutter host(h.scenario.Host());
  ScopedHost install(&host);
  h.op.ExpectBox(
      "The cutter did not take the copy. The copy was registered but not cut; the run "
      "stops.",
      IDOK);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2})), 0);
  ASSERT_EQ(h.Copies().size(), 1u) << "the second copy is not searched for";
  EXPECT_FALSE(h.Copies()[0].cut);
  EXPECT_THAT(h.scenario.Machine().Cutter().Cuts(), IsEmpty());
  EXPECT_GT(cv::norm(h.Head()), 1000.0) << "stopped where it was";
  // The driver was told the cut was over: 2 at the start, 0 before the cut, 2 after.
  std::vector<int> states;
  for (const auto& v : h.scenario.Machine().Cutter().DeviceValues())
    if (v.code == kDevCodeCutState) states.push_back(v.value);
  EXPECT_EQ(states, (std::vector<int>{2, 0, 2}));
  EXPECT_EQ(h.op.PendingBoxes(), 0u);
}

TEST(FailureRun, AMarkThatCannotBeFoundAsksTheUserAndCancelEndsAtTheOrigin) {
  RunHarness h(SheetWorld(1, 1, 31), SpoilMark(1));
  EXPECT_EQ(h.Run(h.OnGrid({.failures = {{.answer = IDCANCEL}}})), 0);
  EXPECT_THAT(h.Copies(), IsEmpty());
  EXPECT_THAT(h.scenario.Machine().Cutter().Cuts(), IsEmpty());
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
}

TEST(FailureRun, AJobWithFewerThanThreeMarksEndsAtStartWithoutASearch) {
  for (int marks = 0; marks < 3; ++marks) {
    SCOPED_TRACE(marks);
    RunHarness h(SheetWorld(1, 1, 34));
    h.jobList = DBCreateEmptyList();
    for (int i = 0; i < marks; ++i)
      DBAddToList(h.jobList, h.scenario.Doc().marks[static_cast<std::size_t>(i)]);
    for (uint64 p : h.scenario.Doc().paths) DBAddToList(h.jobList, p);
    h.op.ExpectBox("This job has " + std::to_string(marks) +
                       " registration marks; a run needs three. The run ends.",
                   IDOK);
    EXPECT_EQ(h.Run(h.OnGrid({})), 0);
    EXPECT_EQ(h.op.PendingBoxes(), 0u);
    EXPECT_THAT(h.Copies(), IsEmpty());
    EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
    // Straight home from where the user had placed the camera: no search moved the head.
    const std::vector<CutterMove> moves = h.scenario.Machine().Cutter().Moves();
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves.back().to, cv::Point2d(0, 0));
    EXPECT_LT(cv::norm(moves[moves.size() - 2].to - h.scenario.HeadOverMark(0, 0)), 60.0);
  }
}

TEST(FailureRun, StopWhileTheHeadTravelsToTheNextCopyAsksAsAFailedSearchDoes) {
  RunHarness h(SheetWorld(1, 2, 37));
  const auto duringRun = [&](ScriptedOperator& op) {
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP).When([&] {
      return h.Copies().size() == 1 && h.dialog->IsMoving() &&
             cv::norm(h.Head() - h.scenario.HeadOverMark(0, 2)) > 1000;
    }));
  };
  h.op.ExpectBox("Unable to locate image", IDCANCEL);
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 2, .duringRun = duringRun})), 0);
  EXPECT_EQ(h.op.PendingBoxes(), 0u) << "the dialogue was shown";
  EXPECT_EQ(h.Copies().size(), 1u);
  EXPECT_GT(cv::norm(h.Head()), 1000.0) << "no return to the origin after Stop";
}

TEST(FailureRun, ManualPlacementByClicksAndStartCompletesTheRun) {
  RunHarness h(SheetWorld(1, 1, 32));
  // The user leaves the camera far off the mark, then places it by hand and presses Start.
  EXPECT_EQ(
      h.Run(h.OnGrid({.firstMiss = {2600, 2400}, .failures = {{.answer = IDOK, .placeCopy = 0}}})),
      0);
  EXPECT_THAT(h.Copies(), ElementsAre(CutWithin(kRunToleranceMm)));
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
}

TEST(FailureRun, StopDuringTheThirdCopysSearchEndsWithoutCuttingOrReturning) {
  RunHarness h(SheetWorld(1, 3, 33));
  bool startEnabled = false;
  std::string stopText;
  const auto duringRun = [&](ScriptedOperator& op) {
    // Once two copies are cut and the head has gone on to the third copy's first mark.
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP).When([&] {
      return h.Copies().size() == 2 && cv::norm(h.Head() - h.scenario.HeadOverMark(2, 0)) < 800 &&
             !h.dialog->IsMoving();
    }));
    op.Then(ScriptedOperator::Call([&] {
              startEnabled = h.dialog->GetDlgItem(IDC_KX_START)->IsWindowEnabled();
              stopText = h.dialog->GetDlgItem(IDC_KX_STOP)->GetWindowText();
            }).When([&] { return !h.dialog->IsRunning(); }));
  };
  EXPECT_EQ(h.Run(h.OnGrid({.copiesY = 3, .duringRun = duringRun})), 0);
  EXPECT_EQ(h.Copies().size(), 2u);
  EXPECT_TRUE(startEnabled);
  EXPECT_EQ(stopText, "(*v*)Close");
  EXPECT_GT(cv::norm(h.Head()), 1000.0) << "no return to the origin after Stop";
}

}  // namespace
}  // namespace kx::test
