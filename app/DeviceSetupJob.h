// Calibration and acquisition on the devices the settings name, with the person at the terminal:
// the setup page and the acquire dialog driven from the console.
// Threads: bound to one thread; one job at a time per process.
#pragma once

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "acquire/KestrixAcquireDialog.h"
#include "app/ConsoleControls.h"
#include "embedded/Document.h"
#include "platform/Operator.h"
#include "scenario/SetupScript.h"

namespace kx {

class ConfiguredDevices;

struct DeviceToolOptions {
  // The settings folder ("Port Setup" in device.ini, the calibration in settings.ini), used in
  // place; empty: the user's configuration folder.
  std::filesystem::path configDir;
  std::filesystem::path outDir = "out";  // acquire: job.json and montage.png
  bool dryRun = false;                   // every move goes knife up
};

// Drives the setup sheet from a console. While the page is idle it reads commands:
//   goto X Y     the head to (X, Y), cutter units, by clicks in the live view
//   move DX DY   the head by (DX, DY) from where it stands
//   calibrate    Calibrate (in the manual way again, once the square is under the crosshair)
//   ok           OK: stores the page's values
//   cancel       Cancel: stores nothing
// End of input counts as cancel. Message boxes are asked on the console. A Ctrl+C during a
// calibration lets it finish and then cancels; a second one, or one at the prompt, ends the
// program as the signal would (the serial cutter's own handler lifts the knife first).
class ConsoleSetupOperator final : public IOperator {
 public:
  ConsoleSetupOperator(SetupSheet& sheet, std::istream& in, std::ostream& out);

  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override;

  // The message of a machine fault a box said (run/MachineFault.h), empty when none.
  const std::string& Fault() const { return m_fault; }

 private:
  bool ReadCommand();
  void Close(int button);

  SetupSheet& m_sheet;
  std::istream& m_in;
  std::ostream& m_out;
  TerminalOperator m_terminal;
  ConsoleInterrupt m_interrupt;
  ClickSteering m_steering;
  std::string m_fault;
  bool m_closing = false;
  int m_closingTurns = 0;  // idle turns since OK or Cancel was pressed
  bool m_calibrationPressed = false;
};

// Drives the acquire dialog from a console. While the dialog is idle it reads commands:
//   goto X Y, move DX DY   the head, by clicks in the live view (each one starts a new 1 x 1 grid)
//   start                  the grid's start corner where the head stands
//   end                    the end corner: the grid between the two is taken
//   grow D                 the grid one tile further by the dialog's arrow D (tl, t, tr, l, r,
//                          bl, b or br)
//   ok                     OK: the montage goes into the document with its three marks
//   cancel                 Cancel
// End of input counts as cancel; Ctrl+C as for the setup page (a capture under way finishes).
class ConsoleAcquireOperator final : public IOperator {
 public:
  ConsoleAcquireOperator(CKestrixAcquireDialog& dialog, std::istream& in, std::ostream& out);

  int AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT flags) override;
  bool OnIdle() override;

 private:
  bool ReadCommand();
  void Press(int id);

  CKestrixAcquireDialog& m_dialog;
  std::istream& m_in;
  std::ostream& m_out;
  TerminalOperator m_terminal;
  ConsoleInterrupt m_interrupt;
  ClickSteering m_steering;
  double m_scale;
  bool m_closing = false;
  std::size_t m_tilesSeen = 0;
};

// The program's calibrate on the devices: the settings folder's host (InstallDeviceHost), then
// RunConfiguredCalibrate.
int RunDeviceCalibrate(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err);

// Opens the configured devices (OpenJobDevices), runs the setup sheet with a ConsoleSetupOperator
// and closes the driver (knife up, head home). OK stores the page's values in the settings as the
// page always does. opened, when given, sees the devices once they are open. kJobDone when the
// sheet was closed with OK after a calibration that succeeded, kJobUnmet when it was cancelled or
// closed without one, kJobBadInput for unusable settings or devices, kJobMachineFault when the
// cutter failed or a box said the machine failed.
int RunConfiguredCalibrate(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                           std::ostream& err,
                           const std::function<void(ConfiguredDevices&)>& opened = nullptr);

// The program's acquire on the devices: the settings folder's host, then RunConfiguredAcquire on
// its document.
int RunDeviceAcquire(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                     std::ostream& err);

// Needs a calibrated "Scale". Opens the configured devices, runs the acquire dialog with a
// ConsoleAcquireOperator and closes the driver; after OK saves doc (the bitmap object and its
// marks) as outDir/job.json and the montage as outDir/montage.png. kJobDone when both were
// written, kJobUnmet when the dialog was cancelled, kJobBadInput for unusable settings, devices
// or output, kJobMachineFault as for the calibration.
int RunConfiguredAcquire(const DeviceToolOptions& options, Document& doc, std::istream& in,
                         std::ostream& out, std::ostream& err,
                         const std::function<void(ConfiguredDevices&)>& opened = nullptr);

}  // namespace kx
