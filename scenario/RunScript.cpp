// What a user does with the run dialog on the simulated machine, and a record of what was cut.
#include "scenario/RunScript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "host/Settings.h"
#include "host/Translation.h"
#include "platform/Input.h"
#include "run/MachineFault.h"

namespace kx {

namespace {

constexpr int kSteerClicks = 25;
constexpr double kSteerTolerance = 60.0;

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

void StorePlanSettings(const RunPlan& plan) {
  WriteIntDeviceSetup("KestrixRollDir", plan.rollDir);
  WriteIntDeviceSetup("KestrixMaxError", plan.maxError);
  WriteIntDeviceSetup("KestrixPrecision", plan.precision);
}

bool ClickTowards(const CWnd& dialog, int liveId, cv::Point2d d, double scale) {
  CWnd* live = dialog.GetDlgItem(liveId);
  if (!live) return false;
  RECT rc{};
  live->GetClientRect(&rc);
  const double w = rc.right - rc.left;
  const double h = rc.bottom - rc.top;
  // A plain click moves at most half the view; further targets take Ctrl+Shift (four times).
  const double reach = (w / 2 - 1) * (480.0 / w) * scale;
  int f = 1;
  UINT flags = 0;
  if (std::max(std::fabs(d.x), std::fabs(d.y)) > reach) {
    f = 4;
    flags = MK_CONTROL | MK_SHIFT;
  }
  const double k = f * scale;
  const double ux = std::clamp(w / 2 + d.x / ((480.0 / w) * k), 0.0, w - 1);
  const double uy = std::clamp(h / 2 - d.y / ((640.0 / h) * k), 0.0, h - 1);
  return ClickControl(dialog.GetSafeHwnd(), liveId,
                      POINT{static_cast<LONG>(std::lround(ux)), static_cast<LONG>(std::lround(uy))},
                      flags);
}

ScriptStep SteerStep(CKestrixDialog* dialog, Scenario* scenario,
                     std::function<cv::Point2d()> target, double tolerance,
                     std::shared_ptr<std::int64_t> lastClick, std::function<bool()> when) {
  ScriptStep step;
  step.description = "steer the camera by clicking in the live view";
  // A click is handled before the next: the handler's move lets virtual time pass, and the
  // dialog pumps (and so lets the operator act) before it marks itself moving. The cutter may
  // still creep its last units when the dialog counts the head as arrived; time does not pass
  // while the dialog idles, so waiting for the cutter itself could wait for ever.
  step.ready = [=] {
    const std::int64_t now = scenario->Clock().NowMicros();
    return dialog->GetSafeHwnd() && !dialog->IsMoving() && now != *lastClick && (!when || when());
  };
  step.act = [=] {
    // The head cannot go below the origin: aim for the nearest place it can reach.
    const cv::Point2d aim(std::max(target().x, 0.0), std::max(target().y, 0.0));
    const cv::Point2d d = aim - scenario->Machine().Cutter().Position();
    if (std::fabs(d.x) <= tolerance && std::fabs(d.y) <= tolerance) return true;
    *lastClick = scenario->Clock().NowMicros();
    return ClickTowards(*dialog, IDC_KX_LIVE, d, scenario->GetWorld().Calibrated().scale);
  };
  return step;
}

namespace {

// A step of the placement after an OK, skipped when the run ends without asking for one: an
// answer never asked for is then a missed expectation, not a script that cannot go on.
ScriptStep UnlessEnded(const CKestrixDialog* dialog, ScriptStep step) {
  auto ready = std::move(step.ready);
  auto act = std::move(step.act);
  step.ready = [dialog, ready] { return !dialog->IsRunning() || !ready || ready(); };
  step.act = [dialog, act] { return !dialog->IsRunning() || act(); };
  return step;
}

}  // namespace

void ScriptRun(ScriptedOperator& op, CKestrixDialog* dialog, Scenario* scenario,
               const RunPlan& plan) {
  StorePlanSettings(plan);
  const int firstCopy = plan.firstCopy;
  const cv::Point2d miss = plan.firstMiss;
  auto lastClick = std::make_shared<std::int64_t>(-1);
  for (int i = 0; i < kSteerClicks; ++i)
    op.Then(SteerStep(
        dialog, scenario, [=] { return scenario->HeadOverMark(firstCopy, 0) + miss; },
        kSteerTolerance, lastClick));
  // Sheet first: both counts are editable then.
  op.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
  op.Then(ScriptedOperator::SetText(IDC_KX_COPIES_X, std::to_string(plan.copiesX)));
  op.Then(ScriptedOperator::SetText(IDC_KX_COPIES_Y, std::to_string(plan.copiesY)));
  op.Then(ScriptedOperator::SetText(IDC_KX_STEP_X, Number(plan.stepX)));
  op.Then(ScriptedOperator::SetText(IDC_KX_STEP_Y, Number(plan.stepY)));
  if (plan.roll) op.Then(ScriptedOperator::CheckRadio(IDC_KX_ROLL));
  op.Then(ScriptedOperator::PressButton(IDC_KX_START));
  ScriptStep started = ScriptedOperator::Call([] {});
  started.description = "wait for the run to start";
  op.Then(std::move(started).When([dialog] { return dialog->IsRunning(); }));

  if (plan.duringRun) plan.duringRun(op);
  for (const FailureAnswer& failure : plan.failures) {
    op.ExpectBox("Unable to locate image", failure.answer);
    if (failure.answer != IDOK) continue;
    op.ExpectBox("Please locate first registration area", IDOK);
    const int copy = failure.placeCopy;
    auto waiting = [dialog] { return dialog->IsWaitingForPlacement(); };
    for (int i = 0; i < kSteerClicks; ++i)
      op.Then(
          UnlessEnded(dialog, SteerStep(
                                  dialog, scenario, [=] { return scenario->HeadOverMark(copy, 0); },
                                  kSteerTolerance, lastClick, waiting)));
    op.Then(UnlessEnded(dialog, ScriptedOperator::PressButton(IDC_KX_START).When([dialog] {
      return dialog->IsWaitingForPlacement() && !dialog->IsMoving();
    })));
  }
  if (plan.closeAtEnd)
    op.Then(
        ScriptedOperator::PressButton(IDC_KX_STOP).When([dialog] { return !dialog->IsRunning(); }));
}

bool RunRecorder::CallSection(const ObjList& list, const TM* tm) {
  const std::size_t cutsSoFar = m_scenario->Machine().Cutter().Cuts().size();
  // The dialog waits for the head to rest after each copy, so the previous copy is complete.
  if (m_completed < m_copies.size()) Complete(m_copies.back(), cutsSoFar);
  CopyRecord record;
  for (int i = 0; i < 3; ++i) {
    record.ref[i] = m_dialog->RefPoint(i);
    record.found[i] = m_dialog->FoundPoint(i);
  }
  if (const TM* active = ActiveTranslate()) record.knifeFromDoc = *active;
  record.timeMicros = m_scenario->Clock().NowMicros();
  record.firstCut = cutsSoFar;
  m_copies.push_back(record);
  m_copies.back().cut = CCutMachine::CallSection(list, tm);
  return m_copies.back().cut;
}

const std::vector<CopyRecord>& RunRecorder::Finish() {
  if (m_completed < m_copies.size())
    Complete(m_copies.back(), m_scenario->Machine().Cutter().Cuts().size());
  return m_copies;
}

void RunRecorder::Complete(CopyRecord& record, std::size_t endCut) {
  const World& world = m_scenario->GetWorld();
  record.endCut = endCut;
  // The copy is the one whose first mark lies nearest to where the camera found it.
  const cv::Point2d seen = world.CameraCentre({record.found[0].x, record.found[0].y});
  double best = std::numeric_limits<double>::max();
  for (const CopyPlacement& c : world.Copies()) {
    const double d = cv::norm(m_scenario->BedFromDoc(c.index, m_scenario->MarkCentreDoc(0)) - seen);
    if (d < best) {
      best = d;
      record.copy = c.index;
      record.column = c.column;
      record.row = c.row;
    }
  }
  const auto cuts = m_scenario->Machine().Cutter().Cuts();
  std::vector<BedSegment> knife;
  for (std::size_t i = record.firstCut; i < endCut && i < cuts.size(); ++i)
    knife.push_back(cuts[i].segment);
  if (record.copy >= 0 && !knife.empty()) record.score = world.ScoreCut(record.copy, knife);
  ++m_completed;
  if (onCopy) onCopy(record);
}

bool IsMachineFault(const std::string& text) {
  for (const char* fault : kMachineFaultTexts) {
    const std::string shown = Translate(fault);
    // The part before the number the message carries.
    const std::string start = shown.substr(0, shown.find("%d"));
    if (text.compare(0, start.size(), start) == 0) return true;
  }
  return false;
}

int MachineFaultWatch::AnswerMessageBox(HWND owner, const std::string& text,
                                        const std::string& caption, UINT flags) {
  if (!IsMachineFault(text)) return m_inner.AnswerMessageBox(owner, text, caption, flags);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_fault.empty()) m_fault = text;
  return IDOK;
}

std::string MachineFaultWatch::Fault() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_fault;
}

}  // namespace kx
