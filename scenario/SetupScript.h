// What a user does with the camera setup page on the simulated machine: the settings the world's
// setup section stands for, the sheet that shows the page, and the calibration steps.
// Threads: bound to the thread of the sheet it drives.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialog.h"
#include "platform/Operator.h"
#include "scenario/Scenario.h"
#include "setup/KestrixSetup.h"
#include "sim/WorldSetup.h"

namespace kx {

// Stores the cutter's port, the calibrated "Scale" and offsets when config.calibrated (the
// world's, with the calibration section's errors) and the five calibration settings.
void StoreSetupSettings(const World& world, const CalibrationConfig& config);

// Brings the head to point with the cutter's own controls, as a user does before opening the
// page, and lets the clock run until it rests there.
void BringHeadTo(Scenario& scenario, cv::Point point);

// The embedded host's sheet with the setup page, titled with the translation of "(*v*)Kestrix".
// The page is made (and opens the driver) with the sheet.
class SetupSheet {
 public:
  SetupSheet();
  CPropertySheet& Sheet() { return m_sheet; }
  CKestrixSetup& Page() { return *m_page; }
  // Runs the sheet modally; IDOK or IDCANCEL.
  INT_PTR DoModal() { return m_sheet.DoModal(); }

 private:
  std::unique_ptr<CKestrixSetup> m_page;
  CPropertySheet m_sheet;
};

// How the user goes through a calibration.
struct CalibrationPlan {
  int failureBoxes = 0;          // "Calibration failed" messages the user expects and answers
  bool pressOk = true;           // OK at the end, else Cancel
  int calibrations = 1;          // presses of Calibrate (each a whole calibration)
  double centreTolerance = 3.0;  // manual way: frame pixels between crosshair and square centre
  // Cancel instead of OK when the last calibration did not succeed.
  bool cancelUnlessCalibrated = false;
  // Called once the calibration has ended, before the sheet is closed.
  std::function<void()> beforeClosing{};
};

// Queues what the user does: press Calibrate; in the manual way answer the message, steer the
// camera over the square with clicks in the live view until its centre is under the crosshair,
// and press Calibrate again; answer the failure messages; then press OK (or Cancel).
void ScriptCalibration(ScriptedOperator& op, SetupSheet* sheet, Scenario* scenario,
                       const CalibrationConfig& config, const CalibrationPlan& plan);

// The user of the setup page: takes the script's steps and answers its boxes, and answers every
// "Calibration failed" message and the message of a head that never arrived with OK itself,
// counting them (how many come is not known in advance on an arbitrary world).
class SetupOperator final : public IOperator {
 public:
  explicit SetupOperator(ScriptedOperator& script) : m_script(script) {}
  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override { return m_script.OnIdle(); }
  bool OnBlocked() override { return m_script.OnBlocked(); }
  int FailureMessages() const { return m_failures; }
  int HeadMessages() const { return m_headLost; }

 private:
  ScriptedOperator& m_script;
  int m_failures = 0;
  int m_headLost = 0;
};

// The true centre of the square a calibration with its corner at start cuts (s + 2 a side).
cv::Point2d SquareCentre(cv::Point start, int size);

// One head move the calibration made after cutting the square, read from the cutter's record.
struct CalibrationMove {
  int attempt = 0;     // 1 for the first look from the square
  int correction = 0;  // 0 for the look itself, 1.. for the corrective moves after it
  // A move of precision mode's refinement (correction then counts the refinement's moves).
  bool refinement = false;
  cv::Point2d from;
  cv::Point2d to;
  // Where the camera then looked relative to the square's true centre, cutter units.
  cv::Point2d miss;
};

// The moves after the square's last cut: a move by exactly (moveX, moveY) starts an attempt,
// every other travel move is a correction (in the manual way a click counts as one too), except
// the last refinementMoves, which the page's refinement made (CKestrixSetup::RefinementMoves).
std::vector<CalibrationMove> CalibrationMoves(Scenario& scenario, const CalibrationConfig& config,
                                              int refinementMoves = 0);

}  // namespace kx
