// The camera setup page: its settings, live view, head moves and the offset calibration.
#include "setup/KestrixSetup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Log.h"
#include "common/Units.h"
#include "geometry/Angles.h"
#include "host/Camera.h"
#include "host/DriverSession.h"
#include "host/HeadWait.h"
#include "host/Settings.h"
#include "host/Translation.h"
#include "platform/Clock.h"
#include "vision/LiveView.h"

namespace {

const char kSection[] = "Kestrix Setup";
const char kCaption[] = "(*v*)Calibration";
const char kFailure[] = "(*v*)Calibration failed! Please adjust settings and try again.";
const char kMoveCamera[] =
    "(*v*)Please move camera above reference square and click \"Calibrate\" button.";

// The light-level control list, in the order of the stored "ALC Mode".
const char* const kAlcModes[] = {"(*v*)ALC Fixed AGC Off", "(*v*)ALC Full Auto AGC On",
                                 "(*v*)ALC Full Auto AGC Off", "(*v*)ALC Fixed AGC On"};
// Texts longer than this stay untranslated.
constexpr std::size_t kMaxTranslated = 512;

constexpr int kAttempts = 7;
constexpr int kCorrections = 5;
constexpr DWORD kPollMs = 100;
constexpr DWORD kSettleMs = 1000;
constexpr long kArrival = 3;

// The refinement: frames averaged at each position, the polls a fresh frame is waited for, the
// positions it needs at least, the frame margin it keeps around the square (pixels), and how far
// its Scale may stray from the square's own before the fit is not believed.
constexpr int kRefineFrames = 3;
constexpr int kRefineFramePolls = 20;
constexpr int kRefineMinPositions = 5;
constexpr double kRefineMargin = 16.0;
constexpr double kRefineScaleSpread = 0.1;
// Decimals precision mode stores Scale and the offsets with.
constexpr int kPrecisionDigits = 4;

// "KestrixPrecision" 1 turns every refinement on; other values pick the run's refinements one by
// one and leave the calibration as described unless they include 1.
bool PrecisionMode() {
  const int value = GetIntDeviceSetup("KestrixPrecision", 0);
  return value > 0 && (value & 1) != 0;
}

int ReadSetting(const char* key, int def) { return GetIntMorvane(kSection, key, def, 1, nullptr); }

long long Pack(POINT p) {
  return static_cast<long long>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.x)) << 32 |
                                static_cast<std::uint32_t>(p.y));
}
POINT Unpack(long long v) {
  const auto u = static_cast<std::uint64_t>(v);
  return POINT{static_cast<LONG>(static_cast<std::int32_t>(u >> 32)),
               static_cast<LONG>(static_cast<std::int32_t>(u & 0xFFFFFFFFu))};
}

}  // namespace

BEGIN_MESSAGE_MAP(CKestrixSetup, CPropertyPage)
ON_WM_LBUTTONDOWN()
ON_BN_CLICKED(IDC_KX_AUTO_WHITE_BALANCE, &CKestrixSetup::OnAutoWhiteBallance)
ON_BN_CLICKED(IDC_KX_GAMMA_MODE, &CKestrixSetup::OnGammaMode)
ON_CBN_SELCHANGE(IDC_KX_ALC_MODE, &CKestrixSetup::OnSelchangeAgCalcMode)
ON_NOTIFY_RANGE(NM_RELEASEDCAPTURE, IDC_KX_GAIN, IDC_KX_SHARP, &CKestrixSetup::OnReleasedCaptureId)
ON_BN_CLICKED(IDC_KX_CALIBRATE, &CKestrixSetup::OnCalibrate)
END_MESSAGE_MAP()

CKestrixSetup::CKestrixSetup(CWnd* /*pParent*/) : CPropertyPage(IDD_KESTRIX_SETUP) {
  m_pJob = std::make_unique<JOBDATA>();
  kx::OpenDriver(m_pJob.get());
  char port[100] = {};
  GetStringDeviceNull("Port Setup", "Port", port, sizeof port);
  m_nPort = kx::ResolvePort(port);
  m_ptHead = ReadHead();
  PublishPositions();
  m_strTitle = kx::Translate("(*v*)Kestrix");
  m_psp.dwFlags |= PSP_USETITLE;
  m_psp.pszTitle = m_strTitle.c_str();
  kx::RegisterFrameSink(&CKestrixSetup::BmpFrameCallback, this);
}

CKestrixSetup::~CKestrixSetup() {
  // No frame may arrive once destruction has begun.
  kx::UnregisterFrameSink(this);
  m_bFrameReady.store(false, std::memory_order_release);
  // A page destroyed without OK or Cancel still frees its entries' texts.
  ReleaseAlcModeData();
  kx::CloseDriver(m_pJob.get());
  m_pJob.reset();
}

void CKestrixSetup::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_KX_LIVE, m_wndLive);
  DDX_Control(pDX, IDC_KX_GAIN, m_sldGain);
  DDX_Control(pDX, IDC_KX_SHARP, m_sldSharp);
  DDX_Control(pDX, IDC_KX_GAMMA, m_sldGamma);
  DDX_Control(pDX, IDC_KX_ALC_MODE, m_cbAlcMode);
  DDX_Control(pDX, IDC_KX_SCALE, m_edScale);
  DDX_Control(pDX, IDC_KX_X_OFFSET, m_edXOffset);
  DDX_Control(pDX, IDC_KX_Y_OFFSET, m_edYOffset);
  DDX_Check(pDX, IDC_KX_AUTO_WHITE_BALANCE, m_bAutoWhiteBalance);
  DDX_Check(pDX, IDC_KX_GAMMA_MODE, m_bGammaMode);
  DDX_Slider(pDX, IDC_KX_GAIN, m_nGain);
  DDX_Slider(pDX, IDC_KX_SHARP, m_nSharp);
  DDX_Slider(pDX, IDC_KX_GAMMA, m_nGamma);
  DDX_Text(pDX, IDC_KX_SCALE, m_dScale);
  DDX_Text(pDX, IDC_KX_X_OFFSET, m_dXOffset);
  DDX_Text(pDX, IDC_KX_Y_OFFSET, m_dYOffset);
}

BOOL CKestrixSetup::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  TranslateDialog(this);

  m_edScale.SetDecimalMode(0);
  m_edScale.SetMinRange(0);
  m_edXOffset.GetSettings(m_edScale);
  m_edXOffset.SetMinRange(-100000);
  m_edYOffset.GetSettings(m_edScale);
  m_edYOffset.SetMinRange(-100000);

  m_bAutoWhiteBalance = ReadSetting("Auto White Balance", 0) != 0 ? 1 : 0;
  m_bGammaMode = ReadSetting("Gamma Mode", 0) != 0 ? 1 : 0;

  m_sldGain.SetRange(0, 255);
  m_sldSharp.SetRange(0, 4000);
  m_sldGamma.SetRange(1, 500);
  m_nGain = ReadSetting("Gain", 0);
  m_sldGain.SetPos(m_nGain);
  m_nSharp = ReadSetting("Sharp", 0);
  m_sldSharp.SetPos(m_nSharp);
  m_nGamma = ReadSetting("Gamma", 0);
  m_sldGamma.SetPos(m_nGamma);

  m_dScale = GetDoubleMorvane(kSection, "Scale", 1.0, 1, nullptr);
  m_edScale.SetValue(CValue(m_dScale, 0), FALSE, TRUE);
  m_dXOffset = GetDoubleMorvane(kSection, "X OffSet", 0.0, 1, nullptr);
  m_edXOffset.SetValue(CValue(m_dXOffset, 0), FALSE, TRUE);
  m_dYOffset = GetDoubleMorvane(kSection, "Y OffSet", 0.0, 1, nullptr);
  m_edYOffset.SetValue(CValue(m_dYOffset, 0), FALSE, TRUE);

  for (const char* key : kAlcModes) {
    CString text = key;
    if (std::strlen(key) <= kMaxTranslated) {
      char buffer[kMaxTranslated + 1] = {};
      TString(key, buffer, sizeof buffer);
      text = buffer;
    }
    const int index = m_cbAlcMode.AddString(text);
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    m_cbAlcMode.SetItemDataPtr(index, copy);
  }
  m_cbAlcMode.SetCurSel(ReadSetting("ALC Mode", 0));

  UpdateData(FALSE);
  m_wndLive.SetWindowPos(nullptr, 0, 0, 192, 256, SWP_NOMOVE | SWP_NOZORDER);
  // From here on frames are kept and shown; the release pairs with UpdateImage's acquire.
  m_bFrameReady.store(true, std::memory_order_release);

  if (CWnd* ok = GetDlgItem(IDOK)) ok->ShowWindow(SW_HIDE);
  if (CWnd* cancel = GetDlgItem(IDCANCEL)) cancel->ShowWindow(SW_HIDE);
  SetHelpID(IDD_KESTRIX_SETUP);
  return TRUE;
}

BOOL CKestrixSetup::OnSetActive() {
  SetModified(TRUE);
  return CPropertyPage::OnSetActive();
}

void CKestrixSetup::OnOK() {
  UpdateData(TRUE);
  WriteIntMorvane(kSection, "Auto White Balance", m_bAutoWhiteBalance, 1);
  WriteIntMorvane(kSection, "Gamma Mode", m_bGammaMode, 1);
  WriteIntMorvane(kSection, "Gain", m_nGain, 1);
  WriteIntMorvane(kSection, "Sharp", m_nSharp, 1);
  WriteIntMorvane(kSection, "Gamma", m_nGamma, 1);
  // Two decimals of Scale are up to 0.5 % of it; precision mode keeps what a refinement measured.
  const int digits = PrecisionMode() ? kPrecisionDigits : 2;
  WriteDoubleMorvane(kSection, "Scale", m_dScale, digits, 1);
  WriteDoubleMorvane(kSection, "X OffSet", m_dXOffset, digits, 1);
  WriteDoubleMorvane(kSection, "Y OffSet", m_dYOffset, digits, 1);
  WriteIntMorvane(kSection, "ALC Mode", m_cbAlcMode.GetCurSel(), 1);
  ReleaseAlcModeData();
  CPropertyPage::OnOK();
}

void CKestrixSetup::OnCancel() {
  ReleaseAlcModeData();
  CPropertyPage::OnCancel();
}

void CKestrixSetup::ReleaseAlcModeData() {
  if (!GetSafeHwnd() || !m_cbAlcMode.GetSafeHwnd()) return;
  const int count = m_cbAlcMode.GetCount();
  for (int i = 0; i < count; ++i) {
    delete[] static_cast<char*>(m_cbAlcMode.GetItemDataPtr(i));
    m_cbAlcMode.SetItemDataPtr(i, nullptr);
  }
}

void CKestrixSetup::OnAutoWhiteBallance() { UpdateData(TRUE); }
void CKestrixSetup::OnGammaMode() { UpdateData(TRUE); }
void CKestrixSetup::OnSelchangeAgCalcMode() { UpdateData(TRUE); }
void CKestrixSetup::OnReleasedCapture(NMHDR* /*pNMHDR*/, LRESULT* pResult) {
  UpdateData(TRUE);
  if (pResult) *pResult = 0;
}
void CKestrixSetup::OnReleasedCaptureId(UINT /*id*/, NMHDR* pNMHDR, LRESULT* pResult) {
  OnReleasedCapture(pNMHDR, pResult);
}

// ---- Live view and head moves ----

void CKestrixSetup::BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                                     void* context, void*) {
  if (!context || byteCount == 0 || !frame) return;
  static_cast<CKestrixSetup*>(context)->UpdateImage(static_cast<int>(byteCount), frame);
}

void CKestrixSetup::UpdateImage(int byteCount, BYTE* frame) {
  if (!m_bFrameReady.load(std::memory_order_acquire) || !frame || byteCount <= 0) return;
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(byteCount), kx::kFrameBytes);
  cv::Mat image = kx::CrosshairFrame(frame, count);
  const POINT head = Unpack(m_nShownHead.load(std::memory_order_relaxed));
  const POINT target = Unpack(m_nShownTarget.load(std::memory_order_relaxed));
  char text[64];
  const cv::Scalar red(0, 0, 255);
  std::snprintf(text, sizeof text, "X:%d / %d", static_cast<int>(head.x),
                static_cast<int>(target.x));
  cv::putText(image, text, {40, 40}, cv::FONT_HERSHEY_SIMPLEX, 1.6, red, 2, cv::LINE_8);
  std::snprintf(text, sizeof text, "Y:%d / %d", static_cast<int>(head.y),
                static_cast<int>(target.y));
  cv::putText(image, text, {40, 100}, cv::FONT_HERSHEY_SIMPLEX, 1.6, red, 2, cv::LINE_8);

  m_FrameBuffer.Store(frame, count);
  kx::ShowFrame(m_wndLive, m_bmiFrame, image);
}

POINT CKestrixSetup::ReadHead() const {
  const kx::HeadPoint p = kx::ReadHeadPosition(m_nPort);
  return POINT{p.x, p.y};
}

void CKestrixSetup::PublishPositions() {
  m_nShownHead.store(Pack(m_ptHead), std::memory_order_relaxed);
  m_nShownTarget.store(Pack(m_ptTarget), std::memory_order_relaxed);
}

void CKestrixSetup::OnLButtonDown(UINT nFlags, CPoint point) {
  UpdateData(TRUE);
  CPropertyPage::OnLButtonDown(nFlags, point);
  CRect r;
  m_wndLive.GetWindowRect(&r);
  ClientToScreen(&point);
  if (!r.PtInRect(point)) return;
  int f = 1;
  if (nFlags & MK_CONTROL) f = (nFlags & MK_SHIFT) ? 4 : 2;
  const long cx = (r.left + r.right) / 2;
  const long cy = (r.top + r.bottom) / 2;
  const long dx = kx::Trunc(480.0 / (r.right - r.left) * (point.x - cx) * f * m_dScale);
  const long dy = kx::Trunc(-640.0 / (r.bottom - r.top) * (point.y - cy) * f * m_dScale);
  MoveToOffset(dx, dy, 0);
}

void CKestrixSetup::MoveToOffset(long dx, long dy, int cut) {
  m_bMoveFailed = false;
  long tx = m_ptHead.x + dx;
  long ty = m_ptHead.y + dy;
  if (tx < 0) tx = 0;
  if (ty < 0) ty = 0;
  sendxyNoW(tx, ty, cut);
  m_ptTarget = POINT{static_cast<LONG>(tx), static_cast<LONG>(ty)};
  PublishPositions();
  POINT p = ReadHead();
  const DWORD start = GetTickCount();
  // The run's limit and message: a cutter that never gets there is the same fault on every page.
  const int timeout = kx::HeadTimeoutSeconds();
  while (std::labs(p.x - tx) > kArrival || std::labs(p.y - ty) > kArrival) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout) * 1000u) {
      // The head will not get there: lift the knife where it stands and say so.
      m_bMoveFailed = true;
      sendxyNoW(p.x, p.y, kMoveTravel);
      m_ptHead = ReadHead();
      PublishPositions();
      kx::Log(kx::LogLevel::Warning, kx::LogCategory::Window,
              "setup page: the head stopped at (" + std::to_string(p.x) + ", " +
                  std::to_string(p.y) + ") short of (" + std::to_string(tx) + ", " +
                  std::to_string(ty) + ")");
      ShowCalibrationMessage(kx::WithNumber(kx::kHeadNotResting, timeout).c_str());
      return;
    }
    Sleep(kPollMs);
    p = ReadHead();
    m_ptHead = p;
    PublishPositions();
  }
  Sleep(kSettleMs);
  m_ptHead = ReadHead();
  PublishPositions();
}

// ---- Calibration ----

void CKestrixSetup::ShowCalibrationMessage(const char* text) {
  TMessageBoxDirect(GetSafeHwnd(), text, kCaption, MB_ICONINFORMATION | MB_OK | MB_TASKMODAL);
}

void CKestrixSetup::EndCalibration() {
  if (CWnd* button = GetDlgItem(IDC_KX_CALIBRATE)) button->EnableWindow(TRUE);
  UpdateData(FALSE);
  m_bCalibrating = false;
}

void CKestrixSetup::CutCalMark() {
  const int p = ReadSetting("CalibrationSquarePower", 25);
  const long s = ReadSetting("CalibrationSquareSize", 500);
  std::int32_t power = p;
  DEV_SendInfo(kDevCodeCutPower, &power);
  const long moves[8][2] = {{-2, 0}, {s + 4, 0},  {0, -2}, {0, s + 4},
                            {2, 0},  {-s - 4, 0}, {0, 2},  {0, -s - 4}};
  for (const auto& move : moves) {
    MoveToOffset(move[0], move[1], kMoveCut);
    if (m_bMoveFailed) break;  // the knife is up again; the rest of the square is not cut
  }
  power = 0;
  DEV_SendInfo(kDevCodeCutPower, &power);
}

void CKestrixSetup::OnCalibrate() {
  const int s = ReadSetting("CalibrationSquareSize", 500);
  if (CWnd* button = GetDlgItem(IDC_KX_CALIBRATE)) button->EnableWindow(FALSE);
  UpdateData(FALSE);
  m_bCalibrating = true;
  m_bCalibrated = false;
  m_bRefined = false;
  m_nRefinePositions = 0;
  m_nRefineMoves = 0;
  m_dRefineResidual = 0.0;
  double dx = 0, dy = 0, side = 0, angle = 0.0;

  if (m_bWaitManualCal == 1 && ReadSetting("ManualCalibration", 0) == 1) {
    m_bWaitManualCal = 0;
    const bool centred =
        LocateCalibrationMark(&dx, &dy, &side, &angle) == 0 && CenterOnMark(s, dx, dy, side);
    m_bCalibrated = centred;
    if (!centred && !m_bMoveFailed) ShowCalibrationMessage(kFailure);
    if (centred && PrecisionMode()) RefineCalibration(s);
    EndCalibration();
    return;
  }

  m_bWaitManualCal = 0;
  CutCalMark();
  m_ptCalStart = m_ptHead;
  if (m_bMoveFailed) {
    EndCalibration();
    return;
  }
  if (ReadSetting("ManualCalibration", 0) == 1) {
    ShowCalibrationMessage(kMoveCamera);
    EndCalibration();
    m_bWaitManualCal = 1;
    return;
  }
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    MoveToOffset(ReadSetting("CalibrationXmove", 200), ReadSetting("CalibrationYmove", 200), 0);
    if (m_bMoveFailed) break;
    Sleep(kSettleMs);
    angle = 0.0;
    if (LocateCalibrationMark(&dx, &dy, &side, &angle) == 0 && CenterOnMark(s, dx, dy, side)) {
      m_bCalibrated = true;
      if (PrecisionMode()) RefineCalibration(s);
      EndCalibration();
      return;
    }
    if (m_bMoveFailed) break;
    ShowCalibrationMessage(kFailure);
  }
  EndCalibration();
}

bool CKestrixSetup::CenterOnMark(int size, double dx, double dy, double side) {
  int moves = 0;
  for (;;) {
    m_dScale = size / side;
    m_dXOffset = static_cast<double>(m_ptCalStart.x - m_ptHead.x + size / 2);
    m_dYOffset = static_cast<double>(m_ptCalStart.y - m_ptHead.y + size / 2);
    m_dSquareScale = m_dScale;
    m_dSquareXOffset = m_dXOffset;
    m_dSquareYOffset = m_dYOffset;
    if (std::fabs(dx) <= 2.0 && std::fabs(dy) <= 2.0) return moves < kCorrections;
    if (moves == kCorrections) return false;
    MoveToOffset(kx::Trunc(m_dScale * dx), -kx::Trunc(m_dScale * dy), 0);
    ++moves;
    if (m_bMoveFailed) return false;
    Sleep(kSettleMs);
    double angle = 0.0;
    if (LocateCalibrationMark(&dx, &dy, &side, &angle) != 0) return false;
  }
}

int CKestrixSetup::LocateCalibrationMark(double* dx, double* dy, double* side, double* angle) {
  (void)angle;  // the frame's own axes: the calibration always passes 0
  return FindCalibrationSquare(m_FrameBuffer.Snapshot(), dx, dy, side, nullptr);
}

int CKestrixSetup::FindCalibrationSquare(const cv::Mat& frame, double* dx, double* dy, double* side,
                                         std::vector<cv::Point>* contour) {
  cv::Mat grey;
  cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
  RemoveNoise(grey);
  cv::Canny(grey, grey, 65, 85, 3);
  cv::dilate(grey, grey, cv::Mat());

  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Vec4i> hierarchy;
  cv::findContours(grey, contours, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
  if (contours.empty()) return -1;
  // The outermost contours: the first one found and its siblings.
  int first = 0;
  while (first < static_cast<int>(contours.size()) && hierarchy[first][3] >= 0) ++first;
  std::vector<cv::Point> poly;
  for (int i = first; i >= 0 && i < static_cast<int>(contours.size()); i = hierarchy[i][0]) {
    const std::vector<cv::Point>& outline = contours[static_cast<std::size_t>(i)];
    cv::approxPolyDP(outline, poly, cv::arcLength(outline, true) * 0.05, true);
    if (poly.size() != 4 || std::fabs(cv::contourArea(poly)) <= 1000 ||
        !cv::isContourConvex(poly)) {
      continue;
    }
    double largest = 0;
    for (int j = 2; j < 5; ++j) {
      const cv::Point& vertex = poly[static_cast<std::size_t>(j - 1)];
      const cv::Point a = poly[static_cast<std::size_t>(j % 4)] - vertex;
      const cv::Point b = poly[static_cast<std::size_t>(j - 2)] - vertex;
      const double dot = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y;
      const double aa = static_cast<double>(a.x) * a.x + static_cast<double>(a.y) * a.y;
      const double bb = static_cast<double>(b.x) * b.x + static_cast<double>(b.y) * b.y;
      largest = std::max(largest, std::fabs(dot) / std::sqrt(aa * bb + 1e-10));
    }
    if (!(largest < 0.3)) continue;
    const double s0 = CalcLength(&poly[0], &poly[1]);
    const double s1 = CalcLength(&poly[1], &poly[2]);
    const double s2 = CalcLength(&poly[2], &poly[3]);
    const double s3 = CalcLength(&poly[3], &poly[0]);
    if (!(0.9 * s1 < s0 && s0 < 1.1 * s1 && 0.9 * s3 < s2 && s2 < 1.1 * s3)) continue;

    cv::Point2f centre;
    float radius = 0;
    cv::minEnclosingCircle(poly, centre, radius);
    *side = (s0 + s1 + s2 + s3) / 4;
    *dx = centre.x - kx::Half(kx::kFrameWidth);
    *dy = centre.y - kx::Half(kx::kFrameHeight);
    if (contour) *contour = outline;
    return 0;
  }
  return -1;
}

double CKestrixSetup::CalcLength(cv::Point* a, cv::Point* b) {
  const double x = static_cast<double>(a->x) - b->x;
  const double y = static_cast<double>(a->y) - b->y;
  return std::sqrt(x * x + y * y);
}

void CKestrixSetup::RemoveNoise(cv::Mat& image) const {
  cv::Mat half;
  cv::pyrDown(image, half, cv::Size(image.cols >> 1, image.rows >> 1));
  cv::pyrUp(half, image, image.size());
}

void CKestrixSetup::HighlightContour(const std::vector<cv::Point>& contour, cv::Mat& image,
                                     cv::Scalar colour) {
  for (std::size_t i = 0; i < contour.size(); ++i)
    cv::line(image, contour[i], contour[(i + 1) % contour.size()], colour, 1, cv::LINE_8);
}

double CKestrixSetup::CalcAngle(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0) {
  return kx::CalcAngle(pt1, pt2, pt0);
}
double CKestrixSetup::CalcAngle360(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0) {
  return kx::CalcAngle360(pt1, pt2, pt0);
}

// ---- Refinement (precision mode) ----

bool CKestrixSetup::MeasureSquareCentroid(double* ex, double* ey) {
  double sumX = 0, sumY = 0;
  for (int f = 0; f < kRefineFrames; ++f) {
    if (f > 0) {
      // A fresh frame each time, so the camera's noise averages out.
      const std::uint64_t seen = m_FrameBuffer.Sequence();
      int polls = 0;
      while (m_FrameBuffer.Sequence() == seen && polls++ < kRefineFramePolls) Sleep(kPollMs);
      if (m_FrameBuffer.Sequence() == seen) return false;
    }
    double dx = 0, dy = 0, side = 0;
    std::vector<cv::Point> outline;
    if (FindCalibrationSquare(m_FrameBuffer.Snapshot(), &dx, &dy, &side, &outline) != 0)
      return false;
    // The square's cut is symmetric under a half turn about its centre, and so is the area its
    // outer contour encloses: the centroid of that area is the centre, to a fraction of a pixel.
    const cv::Moments m = cv::moments(outline);
    if (m.m00 <= 0) return false;
    sumX += m.m10 / m.m00 - kx::kFrameCentreX;
    sumY += m.m01 / m.m00 - kx::kFrameCentreY;
  }
  *ex = sumX / kRefineFrames;
  *ey = sumY / kRefineFrames;
  return true;
}

bool CKestrixSetup::RefineCalibration(int s) {
  const double scale = m_dScale;
  if (!(scale > 0)) return false;
  // Steps that keep the whole square (with a margin) in view at every position of a 3 x 3 grid.
  const double side = s / scale;
  const double stepX = std::max(0.0, 0.75 * ((kx::kFrameWidth - side) / 2 - kRefineMargin));
  const double stepY = std::max(0.0, 0.75 * ((kx::kFrameHeight - side) / 2 - kRefineMargin));
  const POINT centre = m_ptHead;
  const long unitsX = kx::Trunc(stepX * scale);
  const long unitsY = kx::Trunc(stepY * scale);
  const auto moveTo = [this](long x, long y) {
    if (x != m_ptHead.x || y != m_ptHead.y) ++m_nRefineMoves;
    MoveToOffset(x - m_ptHead.x, y - m_ptHead.y, 0);
  };

  // Head x = Px - k ex, head y = Py + k ey: the head position (Px, Py) that centres the square and
  // the true Scale k, from every position where the square was measured.
  std::vector<double> rows;
  std::vector<double> heads;
  for (int j = -1; j <= 1; ++j) {
    for (int n = -1; n <= 1; ++n) {
      const int i = (j == 0) ? -n : n;  // a serpentine keeps the moves short
      moveTo(centre.x + i * unitsX, centre.y + j * unitsY);
      if (m_bMoveFailed) return false;
      double ex = 0, ey = 0;
      if (!MeasureSquareCentroid(&ex, &ey)) continue;
      rows.insert(rows.end(), {1.0, 0.0, -ex, 0.0, 1.0, ey});
      heads.push_back(m_ptHead.x);
      heads.push_back(m_ptHead.y);
    }
  }
  m_nRefinePositions = static_cast<int>(heads.size() / 2);

  bool good = m_nRefinePositions >= kRefineMinPositions;
  cv::Mat fit;
  if (good) {
    const cv::Mat a(static_cast<int>(heads.size()), 3, CV_64F, rows.data());
    const cv::Mat b(static_cast<int>(heads.size()), 1, CV_64F, heads.data());
    good = cv::solve(a, b, fit, cv::DECOMP_SVD);
    if (good) m_dRefineResidual = cv::norm(a * fit - b) / std::sqrt(static_cast<double>(b.rows));
  }
  const double k = good ? fit.at<double>(2) : 0.0;
  // A fit that strays from the square's own Scale or leaves residuals of more than a pixel and a
  // half has measured something else than the square.
  good = good && k > 0 && std::fabs(k - scale) <= kRefineScaleSpread * scale &&
         m_dRefineResidual <= 1.5 * k;
  const double px = good ? fit.at<double>(0) : centre.x;
  const double py = good ? fit.at<double>(1) : centre.y;
  // Back over the square: centred as the fit says, or where the calibration left the head.
  moveTo(std::lround(px), std::lround(py));
  if (!good || m_bMoveFailed) {
    kx::Log(kx::LogLevel::Warning, kx::LogCategory::Window,
            "setup page: the calibration's refinement measured the square at " +
                std::to_string(m_nRefinePositions) +
                " positions and gave no believable fit; the square's own values stay");
    return false;
  }
  // The square of side s + 2 cut from the start: its centre in knife positions.
  const double knifeX = m_ptCalStart.x + (s + 2) / 2.0;
  const double knifeY = m_ptCalStart.y + (s + 2) / 2.0;
  m_dScale = k;
  m_dXOffset = knifeX - px;
  m_dYOffset = knifeY - py;
  m_bRefined = true;
  return true;
}
