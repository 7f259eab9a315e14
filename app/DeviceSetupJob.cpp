// Calibration and acquisition on the devices the settings name, with the person at the terminal.
#include "app/DeviceSetupJob.h"

#include <cstdio>
#include <sstream>

#include "app/AcquireJob.h"
#include "app/CalibrateJob.h"
#include "app/DeviceJob.h"
#include "app/JobOutput.h"
#include "app/MainJob.h"
#include "devices/PortSetup.h"
#include "embedded/EmbeddedHost.h"
#include "host/Host.h"
#include "host/ResourceIds.h"
#include "host/Settings.h"
#include "platform/Input.h"
#include "scenario/RunScript.h"

namespace kx {
namespace {

const char kStoppingCalibration[] =
    "\nStopping: the calibration under way finishes, then the page is cancelled (Ctrl+C again "
    "ends at once).\n";
const char kStoppingCapture[] =
    "\nStopping: the tiles under way are taken, then the dialog is cancelled (Ctrl+C again ends at "
    "once).\n";

std::string Values(const char* what, double scale, double x, double y) {
  char line[160];
  std::snprintf(line, sizeof line, "%s: Scale %.4f  X OffSet %.2f  Y OffSet %.2f", what, scale, x,
                y);
  return line;
}

std::string HeadText(POINT head) {
  return "head at (" + std::to_string(head.x) + ", " + std::to_string(head.y) + ")";
}

}  // namespace

ConsoleSetupOperator::ConsoleSetupOperator(SetupSheet& sheet, std::istream& in, std::ostream& out)
    : m_sheet(sheet), m_in(in), m_out(out), m_terminal(in, out), m_interrupt(kStoppingCalibration) {}

int ConsoleSetupOperator::AnswerMessageBox(HWND owner, const std::string& text,
                                           const std::string& caption, UINT flags) {
  if (m_fault.empty() && IsMachineFault(text)) m_fault = text;
  return m_terminal.AnswerMessageBox(owner, text, caption, flags);
}

bool ConsoleSetupOperator::OnIdle() {
  CKestrixSetup& page = m_sheet.Page();
  if (!page.GetSafeHwnd() || page.IsCalibrating()) return false;
  if (m_closing) {
    // The button has been handled by the time the queue is empty again: a sheet still open
    // refused to close (a value it would not take), and the person goes on.
    if (++m_closingTurns < 3) return false;
    m_closing = false;
    m_out << "the sheet stayed open" << std::endl;
  }
  if (m_interrupt.Take()) {
    Close(IDCANCEL);
    return true;
  }
  m_interrupt.SetStoppable(false);
  if (m_calibrationPressed && !page.IsWaitingForManualCalibration()) {
    m_calibrationPressed = false;
    m_out << (page.CalibrationSucceeded()
                  ? Values("calibrated", page.Scale(), page.XOffset(), page.YOffset()) +
                        " (ok stores them)"
                  : std::string("the calibration did not succeed: calibrate again, or cancel"))
          << std::endl;
  }
  const POINT head = page.HeadPosition();
  if (m_steering.Step(page, IDC_KX_LIVE, cv::Point2d(head.x, head.y), page.Scale(), m_out))
    return true;
  return ReadCommand();
}

bool ConsoleSetupOperator::ReadCommand() {
  const CKestrixSetup& page = m_sheet.Page();
  const POINT head = page.HeadPosition();
  const std::optional<std::string> line = AskLine(
      m_in, m_out,
      HeadText(head) + (page.IsWaitingForManualCalibration()
                            ? ". Centre the square under the crosshair: goto X Y, move DX DY, "
                              "then calibrate; or cancel? "
                            : ". Bring the camera over the calibration spot: goto X Y, move DX "
                              "DY, calibrate, ok or cancel? "));
  if (!line) {
    Close(IDCANCEL);
    return true;
  }
  std::istringstream words(*line);
  std::string command;
  words >> command;
  if (command == "goto" || command == "move")
    return m_steering.Aim(command, words, cv::Point2d(head.x, head.y), m_out);
  if (command == "calibrate") {
    m_calibrationPressed = true;
    m_interrupt.SetStoppable(true);
    return PressButton(m_sheet.Page().GetSafeHwnd(), IDC_KX_CALIBRATE);
  }
  if (command == "ok" || command == "cancel") {
    Close(command == "ok" ? IDOK : IDCANCEL);
    return true;
  }
  if (!command.empty()) m_out << "unknown command '" << command << "'\n";
  return false;
}

void ConsoleSetupOperator::Close(int button) {
  m_closing = true;
  m_closingTurns = 0;
  m_steering.Cancel();
  PressButton(m_sheet.Sheet().GetSafeHwnd(), button);
}

ConsoleAcquireOperator::ConsoleAcquireOperator(CKestrixAcquireDialog& dialog, std::istream& in,
                                               std::ostream& out)
    : m_dialog(dialog),
      m_in(in),
      m_out(out),
      m_terminal(in, out),
      m_interrupt(kStoppingCapture),
      m_scale(GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr)) {}

int ConsoleAcquireOperator::AnswerMessageBox(HWND owner, const std::string& text,
                                             const std::string& caption, UINT flags) {
  return m_terminal.AnswerMessageBox(owner, text, caption, flags);
}

bool ConsoleAcquireOperator::OnIdle() {
  if (m_closing || !m_dialog.GetSafeHwnd() || m_dialog.IsCapturing()) return false;
  if (m_interrupt.Take()) {
    m_closing = true;
    PressButton(m_dialog.GetSafeHwnd(), IDCANCEL);
    return true;
  }
  m_interrupt.SetStoppable(false);
  const std::size_t tiles = m_dialog.TilePositions().size();
  if (tiles != m_tilesSeen) {
    m_tilesSeen = tiles;
    m_out << "grid " << m_dialog.Columns() << " x " << m_dialog.Rows() << ", " << tiles
          << " tile(s) taken so far" << std::endl;
  }
  const POINT head = m_dialog.HeadReference();
  if (m_steering.Step(m_dialog, IDC_KX_ACQUIRE_LIVE, cv::Point2d(head.x, head.y), m_scale, m_out))
    return true;
  return ReadCommand();
}

void ConsoleAcquireOperator::Press(int id) {
  m_interrupt.SetStoppable(true);
  PressButton(m_dialog.GetSafeHwnd(), id);
}

bool ConsoleAcquireOperator::ReadCommand() {
  const POINT head = m_dialog.HeadReference();
  const std::optional<std::string> line =
      AskLine(m_in, m_out,
              HeadText(head) +
                  ". goto X Y, move DX DY, start, end, grow tl|t|tr|l|r|bl|b|br, ok or cancel? ");
  if (!line) {
    m_closing = true;
    PressButton(m_dialog.GetSafeHwnd(), IDCANCEL);
    return true;
  }
  std::istringstream words(*line);
  std::string command;
  words >> command;
  if (command == "goto" || command == "move") {
    if (!m_steering.Aim(command, words, cv::Point2d(head.x, head.y), m_out)) return false;
    m_interrupt.SetStoppable(true);
    return true;
  }
  static const struct {
    const char* name;
    int id;
  } kButtons[] = {{"start", IDC_KX_ZET_START}, {"end", IDC_KX_ZET_END},
                  {"ok", IDOK},                {"cancel", IDCANCEL}};
  for (const auto& b : kButtons) {
    if (command != b.name) continue;
    m_closing = b.id == IDCANCEL;
    Press(b.id);
    return true;
  }
  if (command == "grow") {
    static const struct {
      const char* name;
      int id;
    } kArrows[] = {{"tl", IDC_KX_ORIGIN_TL}, {"t", IDC_KX_ORIGIN_TC}, {"tr", IDC_KX_ORIGIN_TR},
                   {"l", IDC_KX_ORIGIN_CL},  {"r", IDC_KX_ORIGIN_CR}, {"bl", IDC_KX_ORIGIN_BL},
                   {"b", IDC_KX_ORIGIN_BC},  {"br", IDC_KX_ORIGIN_BR}};
    std::string way;
    words >> way;
    for (const auto& a : kArrows) {
      if (way != a.name) continue;
      Press(a.id);
      return true;
    }
    m_out << "grow takes tl, t, tr, l, r, bl, b or br\n";
    return false;
  }
  if (!command.empty()) m_out << "unknown command '" << command << "'\n";
  return false;
}

int RunDeviceCalibrate(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err) {
  const std::unique_ptr<EmbeddedHost> host = InstallDeviceHost(options.configDir, err);
  if (!host) return kJobBadInput;
  out << "settings: " << host->Store().Folder().string() << std::endl;
  return RunConfiguredCalibrate(options, in, out, err);
}

int RunConfiguredCalibrate(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                           std::ostream& err,
                           const std::function<void(ConfiguredDevices&)>& opened) {
  std::unique_ptr<ConfiguredDevices> devices = OpenJobDevices(options.dryRun, out, err);
  if (!devices) return kJobBadInput;
  if (opened) opened(*devices);
  const CameraGeometry before = StoredGeometry();
  out << Values("stored", before.scale, before.xOffset, before.yOffset) << std::endl;

  INT_PTR closed = IDCANCEL;
  bool calibrated = false;
  std::string fault;
  {
    SetupSheet sheet;
    ConsoleSetupOperator console(sheet, in, out);
    ScopedOperator install(&console);
    closed = sheet.DoModal();
    calibrated = sheet.Page().CalibrationSucceeded();
    fault = console.Fault();
  }
  // The sheet has closed the driver: the knife is up and the head home.
  if (const int status = DeviceFault(*devices, fault, err)) return status;
  if (closed != IDOK) {
    out << "cancelled: nothing stored" << std::endl;
    return kJobUnmet;
  }
  const CameraGeometry stored = StoredGeometry();
  out << Values("stored", stored.scale, stored.xOffset, stored.yOffset) << std::endl;
  return calibrated ? kJobDone : kJobUnmet;
}

int RunDeviceAcquire(const DeviceToolOptions& options, std::istream& in, std::ostream& out,
                     std::ostream& err) {
  const std::unique_ptr<EmbeddedHost> host = InstallDeviceHost(options.configDir, err);
  if (!host) return kJobBadInput;
  out << "settings: " << host->Store().Folder().string() << std::endl;
  return RunConfiguredAcquire(options, host->Doc(), in, out, err);
}

int RunConfiguredAcquire(const DeviceToolOptions& options, Document& doc, std::istream& in,
                         std::ostream& out, std::ostream& err,
                         const std::function<void(ConfiguredDevices&)>& opened) {
  if (!Host()->Settings().Read(1, "Kestrix Setup", "Scale")) {
    err << "kestrix: no \"Scale\" in [Kestrix Setup] of settings.ini: calibrate the camera first "
           "(kestrix calibrate)\n";
    return kJobBadInput;
  }
  if (!UsableFolder(options.outDir, err)) return kJobBadInput;
  std::unique_ptr<ConfiguredDevices> devices = OpenJobDevices(options.dryRun, out, err);
  if (!devices) return kJobBadInput;
  if (opened) opened(*devices);

  CKestrixAcquireDialog dialog;
  INT_PTR result = IDCANCEL;
  {
    ConsoleAcquireOperator console(dialog, in, out);
    ScopedOperator install(&console);
    result = dialog.DoModal();
  }
  PrintTiles(dialog, out);
  if (const int status = DeviceFault(*devices, std::string(), err)) return status;
  if (result != IDOK || dialog.ImageObject() == 0) {
    out << "cancelled: no reference taken" << std::endl;
    return kJobUnmet;
  }
  PrintMontage(dialog, out);
  bool montage = false;
  if (!SaveAcquiredJob(doc, dialog, options.outDir, err, &montage)) return kJobBadInput;
  out << "job: " << (options.outDir / "job.json").string() << std::endl;
  return montage ? kJobDone : kJobBadInput;
}

}  // namespace kx
