// The run dialog on a small simulated sheet, its protected operations in reach, shown modally
// around the steps a test queues.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "common/Units.h"
#include "tests/support/RunHarness.h"

namespace kx::test {

// The dialog with the operations and members the tests drive or read.
class OpenDialog : public CKestrixDialog {
 public:
  using CKestrixDialog::CKestrixDialog;
  using CKestrixDialog::Cut;
  using CKestrixDialog::DrawCutPath;
  using CKestrixDialog::FindRegMark2;
  using CKestrixDialog::GetCutList;
  using CKestrixDialog::GetRegMarkData;
  using CKestrixDialog::LocateObject;
  using CKestrixDialog::m_bManualLocate;
  using CKestrixDialog::m_bRunning;
  using CKestrixDialog::m_CutList;
  using CKestrixDialog::m_dCopiesX;
  using CKestrixDialog::m_dCopiesY;
  using CKestrixDialog::m_dRotation;
  using CKestrixDialog::m_dScale;
  using CKestrixDialog::m_FrameBuffer;
  using CKestrixDialog::m_hRegMark;
  using CKestrixDialog::m_nDir;
  using CKestrixDialog::m_pRegImage;
  using CKestrixDialog::m_strStatus;
  using CKestrixDialog::m_tmStepX;
  using CKestrixDialog::m_tmStepY;
  using CKestrixDialog::OnStop;
  using CKestrixDialog::SetupRegImage;
  using CKestrixDialog::SetupRotTmpl;
};

// A world with the camera's calibration stored, and one dialog on its job.
struct DialogWorld {
  explicit DialogWorld(const WorldOptions& world = SheetWorld(1, 1),
                       const std::function<void(JobDescription&)>& editJob = nullptr)
      : scenario(world, scratch.Path(), editJob) {
    scenario.StoreCalibration();
  }

  // Replaces the dialog with a new one on the scenario's job.
  OpenDialog& NewDialog() {
    dialog =
        std::make_unique<OpenDialog>(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
    return *dialog;
  }

  // Shows the dialog (a new one if there is none) modally, runs the steps queued on op, then
  // closes it with Stop. Returns DoModal's result; a step or message box the dialog did not let
  // the user take fails the test.
  INT_PTR Show() {
    if (!dialog) NewDialog();
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP));
    ScopedOperator install(&op);
    const INT_PTR result =
        dialog->DoModal(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
    EXPECT_FALSE(op.Failed()) << op.FailureText();
    EXPECT_EQ(op.PendingBoxes(), 0u);
    return result;
  }

  // Runs body inside a new dialog's modal loop, as a handler would, then closes the dialog.
  INT_PTR Within(const std::function<void(OpenDialog&)>& body) {
    NewDialog();
    op.Then(ScriptedOperator::Call([this, body] { body(*dialog); }));
    return Show();
  }

  // Parks the head at `at` (cutter units) and lets it arrive.
  void Park(cv::Point2d at) {
    scenario.Machine().Cutter().sendxyNoW(Trunc(at.x), Trunc(at.y), kMoveTravel);
    scenario.Clock().Advance(10'000'000);
  }

  std::size_t MoveCount() { return scenario.Machine().Cutter().Moves().size(); }

  // The targets of the moves sent since the first `from`, truncated to cutter units.
  std::vector<cv::Point> TargetsFrom(std::size_t from) {
    std::vector<cv::Point> out;
    const std::vector<CutterMove> moves = scenario.Machine().Cutter().Moves();
    for (std::size_t i = from; i < moves.size(); ++i)
      out.emplace_back(TruncInt(moves[i].to.x), TruncInt(moves[i].to.y));
    return out;
  }

  ScratchFolder scratch;
  Scenario scenario;
  ScriptedOperator op;
  std::unique_ptr<OpenDialog> dialog;
};

}  // namespace kx::test
