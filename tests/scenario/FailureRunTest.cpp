// End-to-end: marks that cannot be found, the failure dialogue, manual placement and Stop.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "host/Database.h"
#include "platform/Wnd.h"
#include "tests/support/ScenarioFixture.h"

namespace kx::test {
namespace {

// Replaces the reference picture of one mark with noise, so the camera never finds that mark.
std::function<void(JobDescription&)> SpoilMark(int mark) {
  return [mark](JobDescription& job) {
    const cv::Rect2d& m = job.marks[static_cast<std::size_t>(mark)];
    const double pxPerDoc = job.reference.cols / job.referenceWidth;
    const cv::Rect area(
        static_cast<int>((m.x - job.referenceOrigin.x) * pxPerDoc),
        static_cast<int>((job.referenceOrigin.y + job.referenceHeight - m.y - m.height) * pxPerDoc),
        static_cast<int>(m.width * pxPerDoc), static_cast<int>(m.height * pxPerDoc));
    cv::Mat spoilt = job.reference(area & cv::Rect(0, 0, job.reference.cols, job.reference.rows));
    cv::RNG(5).fill(spoilt, cv::RNG::UNIFORM, 0, 256);
  };
}

TEST(FailureRun, AMarkThatCannotBeFoundAsksTheUserAndCancelEndsAtTheOrigin) {
  RunHarness h(SheetWorld(1, 1, 31), "unfindable", SpoilMark(1));
  RunPlan plan = h.GridPlan(1, 1);
  plan.failures.push_back({IDCANCEL, 0});
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  EXPECT_TRUE(h.recorder->Copies().empty());
  EXPECT_TRUE(h.scenario.Machine().Cutter().Cuts().empty());
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
  EXPECT_NEAR(h.Head().y, 0.0, 3.0);
}

TEST(FailureRun, AJobWithTwoMarksCannotBeRegisteredAndSaysSo) {
  RunHarness h(SheetWorld(1, 1, 34), "two-marks");
  // The job without its third mark: the search still asks for three.
  h.jobList = DBCreateEmptyList();
  for (uint64 m : {h.scenario.Doc().marks[0], h.scenario.Doc().marks[1]}) DBAddToList(h.jobList, m);
  for (uint64 p : h.scenario.Doc().paths) DBAddToList(h.jobList, p);
  RunPlan plan = h.GridPlan(1, 1);
  plan.failures.push_back({IDCANCEL, 0});
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  EXPECT_TRUE(h.recorder->Copies().empty());
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
}

TEST(FailureRun, ManualPlacementByClicksAndStartCompletesTheRun) {
  RunHarness h(SheetWorld(1, 1, 32), "manual");
  RunPlan plan = h.GridPlan(1, 1);
  plan.firstMiss = cv::Point2d(2600, 2400);  // the user leaves the camera far off the mark
  plan.failures.push_back({IDOK, 0});        // then places it by hand and presses Start
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  ASSERT_EQ(h.recorder->Copies().size(), 1u);
  EXPECT_LT(h.recorder->Copies()[0].score.maxError, 0.25 / 0.0254);
  EXPECT_NEAR(h.Head().x, 0.0, 3.0);
}

TEST(FailureRun, StopDuringTheThirdCopysSearchEndsWithoutCuttingOrReturning) {
  RunHarness h(SheetWorld(1, 3, 33), "stop");
  RunPlan plan = h.GridPlan(1, 3);
  bool startEnabled = false;
  std::string stopText;
  plan.duringRun = [&](ScriptedOperator& op) {
    // Once two copies are cut and the head has gone on to the third copy's first mark.
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP).When([&] {
      return h.recorder->Copies().size() == 2 &&
             cv::norm(h.Head() - h.scenario.HeadOverMark(2, 0)) < 800 && !h.dialog->IsMoving();
    }));
    op.Then(ScriptedOperator::Call([&] {
              startEnabled = h.dialog->GetDlgItem(IDC_KX_START)->IsWindowEnabled();
              stopText = h.dialog->GetDlgItem(IDC_KX_STOP)->GetWindowText();
            }).When([&] { return !h.dialog->IsRunning(); }));
  };
  EXPECT_EQ(h.Run(plan), 0);
  EXPECT_FALSE(h.op.Failed()) << h.op.FailureText();
  EXPECT_EQ(h.recorder->Copies().size(), 2u);
  EXPECT_TRUE(startEnabled);
  EXPECT_EQ(stopText, "(*v*)Close");
  EXPECT_GT(cv::norm(h.Head()), 1000.0) << "no return to the origin after Stop";
}

}  // namespace
}  // namespace kx::test
