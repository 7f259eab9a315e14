// What a user does with the run dialog on the simulated machine, and a record of what was cut.
// Threads: bound to the thread of the run dialog it drives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/CutMachine.h"
#include "platform/Operator.h"
#include "run/KestrixDialog.h"
#include "scenario/Scenario.h"

namespace kx {

// One answer to the search's failure dialogue. OK is followed by placing the camera by hand over
// the first mark of copy `placeCopy` (world copy index) and pressing Start.
struct FailureAnswer {
  int answer = IDCANCEL;
  int placeCopy = 0;
};

// The run a user sets up: material, counts, steps and the answers to failure dialogues. Every
// member has an initializer, so a plan may be written with designated initializers.
struct RunPlan {
  bool roll = false;
  int rollDir = 0;    // "KestrixRollDir"
  int maxError = 6;   // "KestrixMaxError"
  int precision = 0;  // "KestrixPrecision"
  int copiesX = 1;
  int copiesY = 1;
  double stepX = 0;  // thousands of cutter units, as typed into the dialog
  double stepY = 0;
  int firstCopy = 0;        // the copy whose first mark the user brings the camera over
  cv::Point2d firstMiss{};  // how far off (cutter units) the user leaves the camera at first
  std::vector<FailureAnswer> failures{};
  bool closeAtEnd = true;
  // Anything more the user does while the run goes on, queued after Start.
  std::function<void(ScriptedOperator&)> duringRun{};
};

// Stores the plan's device settings ("KestrixRollDir", "KestrixMaxError", "KestrixPrecision").
void StorePlanSettings(const RunPlan& plan);

// A step that clicks in the live view until the head centres the camera within tolerance of
// target() (cutter units), the way a user steers: plain clicks near, Ctrl+Shift clicks far.
// Ready only while the dialog is not moving and `when` (if given) holds.
// Steps sharing lastClick (virtual time of the last click, -1 for none) wait for each other.
// Clicks in the live view (control liveId of dialog) where a head move of d cutter units lands at
// the given Scale: a plain click within half the view, Ctrl+Shift (four times as far) beyond, the
// point kept inside the picture. False when the dialog has no such control or the click fails.
bool ClickTowards(const CWnd& dialog, int liveId, cv::Point2d d, double scale);

ScriptStep SteerStep(CKestrixDialog* dialog, Scenario* scenario,
                     std::function<cv::Point2d()> target, double tolerance,
                     std::shared_ptr<std::int64_t> lastClick, std::function<bool()> when = nullptr);

// Queues everything the user does: steer to the first copy's first mark, fill in counts and
// steps, choose the material, press Start, answer failure dialogues (with placements) and close
// the dialog when the run has ended.
void ScriptRun(ScriptedOperator& op, CKestrixDialog* dialog, Scenario* scenario,
               const RunPlan& plan);

// One copy as the run registered it and handed it to the cutter.
struct CopyRecord {
  int copy = -1;  // world copy index the found marks belong to, -1 when none is near
  int column = -1;
  int row = -1;
  NewWorldPt ref[3];
  NewWorldPt found[3];
  TM knifeFromDoc;  // the transform the copy was cut through (document units)
  std::int64_t timeMicros = 0;
  std::size_t firstCut = 0;  // index range in the cutter's knife record
  std::size_t endCut = 0;
  bool cut = false;  // the host took the copy's cut
  CutScore score;
};

// The cut machine handed to the dialog: records each copy, then cuts it as the host does.
class RunRecorder final : public CCutMachine {
 public:
  RunRecorder(CKestrixDialog* dialog, Scenario* scenario)
      : m_dialog(dialog), m_scenario(scenario) {}
  bool CallSection(const ObjList& list, const TM* tm) override;

  // Called after each copy's cut completes (or at the end): assigns knife cuts, copy and score.
  const std::vector<CopyRecord>& Finish();
  const std::vector<CopyRecord>& Copies() const { return m_copies; }
  // Called with each finished copy as the run goes.
  std::function<void(const CopyRecord&)> onCopy;

 private:
  void Complete(CopyRecord& record, std::size_t endCut);
  CKestrixDialog* m_dialog;
  Scenario* m_scenario;
  std::vector<CopyRecord> m_copies;
  std::size_t m_completed = 0;
};

// Whether text, a message box's text as shown, is one of the messages with which a run ends on
// a fault of the machine (run/MachineFault.h).
bool IsMachineFault(const std::string& text);

// Stands between the run and the scripted user: a box that reports a machine fault is answered
// OK and its text kept (the first one); every other box, and every idle turn, goes to inner.
// Thread-safe.
class MachineFaultWatch final : public IOperator {
 public:
  explicit MachineFaultWatch(IOperator& inner) : m_inner(inner) {}
  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override { return m_inner.OnIdle(); }
  bool OnBlocked() override { return m_inner.OnBlocked(); }
  // The machine fault the run ended on, empty when none.
  std::string Fault() const;

 private:
  IOperator& m_inner;
  mutable std::mutex m_mutex;
  std::string m_fault;
};

}  // namespace kx
