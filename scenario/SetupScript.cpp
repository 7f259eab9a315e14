// What a user does with the camera setup page on the simulated machine.
#include "scenario/SetupScript.h"

#include <algorithm>
#include <cmath>

#include "common/Frame.h"
#include "host/CutterDriver.h"
#include "host/Settings.h"
#include "host/Translation.h"
#include "platform/Input.h"
#include "scenario/RunScript.h"

namespace kx {
namespace {

const char kSection[] = "Kestrix Setup";
// Clicks a user makes at most to bring the camera over the square.
constexpr int kSteerClicks = 40;

}  // namespace

void StoreSetupSettings(const World& world, const CalibrationConfig& config) {
  WriteStringDevice("Port Setup", "Port", "USB1");
  if (config.calibrated) {
    const CalibratedSetup setup = world.Calibrated();
    WriteDoubleMorvane(kSection, "Scale", setup.scale, 2, 1);
    WriteDoubleMorvane(kSection, "X OffSet", setup.xOffset, 2, 1);
    WriteDoubleMorvane(kSection, "Y OffSet", setup.yOffset, 2, 1);
  }
  WriteIntMorvane(kSection, "CalibrationSquarePower", config.squarePower, 1);
  WriteIntMorvane(kSection, "CalibrationSquareSize", config.squareSize, 1);
  WriteIntMorvane(kSection, "ManualCalibration", config.manual ? 1 : 0, 1);
  WriteIntMorvane(kSection, "CalibrationXmove", config.moveX, 1);
  WriteIntMorvane(kSection, "CalibrationYmove", config.moveY, 1);
}

void BringHeadTo(Scenario& scenario, cv::Point point) {
  SimCutter& cutter = scenario.Machine().Cutter();
  // Through the installed driver, so that a driver standing in front of the simulated cutter
  // knows where the head is.
  ICutterDriver* driver = CutterDriver();
  (driver ? driver : &cutter)->sendxyNoW(point.x, point.y, kMoveTravel);
  const std::int64_t wait = cutter.BusyUntil() - scenario.Clock().NowMicros();
  if (wait > 0) scenario.Clock().Advance(wait);
}

SetupSheet::SetupSheet()
    : m_page(std::make_unique<CKestrixSetup>()), m_sheet(Translate("(*v*)Kestrix").c_str()) {
  m_sheet.AddPage(m_page.get());
}

int SetupOperator::AnswerMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                    UINT flags) {
  if (text.find("Calibration failed") != std::string::npos) {
    ++m_failures;
    return IDOK;
  }
  if (IsMachineFault(text)) {
    ++m_headLost;
    return IDOK;
  }
  return m_script.AnswerMessageBox(owner, text, caption, flags);
}

cv::Point2d SquareCentre(cv::Point start, int size) {
  const double half = (size + 2) / 2.0;
  return {start.x + half, start.y + half};
}

void ScriptCalibration(ScriptedOperator& op, SetupSheet* sheet, Scenario* scenario,
                       const CalibrationConfig& config, const CalibrationPlan& plan) {
  CKestrixSetup* page = &sheet->Page();
  const auto idle = [page] { return page->GetSafeHwnd() != nullptr && !page->IsCalibrating(); };
  for (int n = 0; n < plan.calibrations; ++n) {
    op.Then(ScriptedOperator::PressButton(IDC_KX_CALIBRATE).When(idle));
    if (!config.manual) continue;
    op.ExpectBox("Please move camera above reference square", IDOK);
    const auto waiting = [page] { return page->IsWaitingForManualCalibration(); };
    const double tolerance = plan.centreTolerance;
    for (int i = 0; i < kSteerClicks; ++i) {
      ScriptStep steer;
      steer.description = "steer the camera over the square";
      steer.ready = waiting;
      steer.act = [=] {
        const World& world = scenario->GetWorld();
        const cv::Point2d head = scenario->Machine().Cutter().Position();
        const POINT start = page->CalibrationStart();
        const cv::Point2d pixel =
            world.PixelFromBed(head, SquareCentre({start.x, start.y}, config.squareSize));
        const cv::Point2d off = pixel - cv::Point2d(kFrameCentreX, kFrameCentreY);
        if (std::fabs(off.x) <= tolerance && std::fabs(off.y) <= tolerance) return true;
        CWnd* live = page->GetDlgItem(IDC_KX_LIVE);
        if (!live) return false;
        RECT rc{};
        live->GetClientRect(&rc);
        const double w = rc.right - rc.left;
        const double h = rc.bottom - rc.top;
        // Where the user sees the square's centre; out of view, toward it with the stride (Ctrl
        // twice, Ctrl and Shift four times as far) that keeps the click inside the picture.
        int f = 1;
        while (f < 4 && (std::fabs(off.x) / f > kFrameCentreX - 1 ||
                         std::fabs(off.y) / f > kFrameCentreY - 1))
          f *= 2;
        const UINT flags = f == 1 ? 0U : (f == 2 ? MK_CONTROL : MK_CONTROL | MK_SHIFT);
        const double fx = std::clamp(kFrameCentreX + off.x / f, 0.0, kFrameWidth - 1.0);
        const double fy = std::clamp(kFrameCentreY + off.y / f, 0.0, kFrameHeight - 1.0);
        const double ux = std::clamp(std::round(fx * w / kFrameWidth), 0.0, w - 1);
        const double uy = std::clamp(std::round(fy * h / kFrameHeight), 0.0, h - 1);
        return ClickControl(page->GetSafeHwnd(), IDC_KX_LIVE,
                            POINT{static_cast<LONG>(ux), static_cast<LONG>(uy)}, flags);
      };
      op.Then(std::move(steer));
    }
    op.Then(ScriptedOperator::PressButton(IDC_KX_CALIBRATE).When([page, idle] {
      return idle() && page->IsWaitingForManualCalibration();
    }));
  }
  for (int i = 0; i < plan.failureBoxes; ++i) op.ExpectBox("Calibration failed", IDOK);
  CPropertySheet* frame = &sheet->Sheet();
  const WindowFinder sheetWindow = [frame] { return frame->GetSafeHwnd(); };
  const auto done = [page, idle] { return idle() && !page->IsWaitingForManualCalibration(); };
  if (plan.beforeClosing) op.Then(ScriptedOperator::Call(plan.beforeClosing).When(done));
  ScriptStep close;
  close.description = "close the sheet";
  close.ready = done;
  const bool ok = plan.pressOk;
  const bool onlyIfCalibrated = plan.cancelUnlessCalibrated;
  close.act = [=] {
    const bool commit = ok && (!onlyIfCalibrated || page->CalibrationSucceeded());
    return PressButton(sheetWindow(), commit ? IDOK : IDCANCEL);
  };
  op.Then(std::move(close));
}

std::vector<CalibrationMove> CalibrationMoves(Scenario& scenario, const CalibrationConfig& config,
                                              int refinementMoves) {
  const std::vector<CutterMove> moves = scenario.Machine().Cutter().Moves();
  std::size_t lastCut = moves.size();
  for (std::size_t i = 0; i < moves.size(); ++i)
    if (moves[i].mode == kMoveCut) lastCut = i;
  std::vector<CalibrationMove> out;
  if (lastCut == moves.size()) return out;
  const cv::Point2d corner = moves[lastCut].to;
  const cv::Point2d centre =
      SquareCentre({static_cast<int>(corner.x), static_cast<int>(corner.y)}, config.squareSize);
  const World& world = scenario.GetWorld();
  int attempt = config.manual ? 1 : 0;
  int correction = 0;
  for (std::size_t i = lastCut + 1; i < moves.size(); ++i) {
    const CutterMove& m = moves[i];
    if (m.to == m.from) continue;  // a knife lift where the head stood
    const cv::Point2d d = m.to - m.from;
    if (!config.manual && d == cv::Point2d(config.moveX, config.moveY)) {
      ++attempt;
      correction = 0;
    } else {
      ++correction;
    }
    out.push_back({attempt, correction, false, m.from, m.to, world.CameraCentre(m.to) - centre});
  }
  const std::size_t refined =
      std::min(out.size(), static_cast<std::size_t>(std::max(0, refinementMoves)));
  for (std::size_t i = 0; i < refined; ++i) {
    CalibrationMove& m = out[out.size() - refined + i];
    m.refinement = true;
    m.correction = static_cast<int>(i) + 1;
  }
  return out;
}

}  // namespace kx
