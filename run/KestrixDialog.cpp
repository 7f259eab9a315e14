// The registration-and-cut run: lifecycle, live view, head motion and job data.
#include "run/KestrixDialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "geometry/Angles.h"
#include "geometry/Registration.h"
#include "host/Camera.h"
#include "host/CutterDriver.h"
#include "host/DriverSession.h"
#include "platform/Clock.h"
#include "platform/Operator.h"
#include "run/MachineFault.h"
#include "vision/LiveView.h"
#include "vision/ReferenceArea.h"

namespace {
const char kSetupSection[] = "Kestrix Setup";
const char kDialogSection[] = "Kestrix Dialog";
}  // namespace

BEGIN_MESSAGE_MAP(CKestrixDialog, CDialog)
ON_WM_LBUTTONDOWN()
ON_BN_CLICKED(IDC_KX_START, &CKestrixDialog::OnStart)
ON_BN_CLICKED(IDC_KX_STOP, &CKestrixDialog::OnStop)
ON_BN_CLICKED(IDC_KX_ROLL, &CKestrixDialog::OnRoll)
ON_BN_CLICKED(IDC_KX_SHEET, &CKestrixDialog::OnSheet)
END_MESSAGE_MAP()

CKestrixDialog::CKestrixDialog(CWnd* pParent, ObjList jobList, uint64 imageObj)
    : CDialog(IDD_KESTRIX_RUN, pParent) {
  m_hImageObj = imageObj;
  m_JobList = std::move(jobList);
  m_dScale = GetDoubleMorvane(kSetupSection, "Scale", 1.0, 1, nullptr);
  m_strStatus = "Ready";
  m_dXOffset = GetDoubleMorvane(kSetupSection, "X OffSet", 0.0, 1, nullptr);
  m_dYOffset = GetDoubleMorvane(kSetupSection, "Y OffSet", 0.0, 1, nullptr);
  for (int i = 0; i < 3; ++i) m_ptCalSrc[i] = m_ptCalDst[i] = cv::Point(1, 1);
  kx::RegisterFrameSink(&CKestrixDialog::BmpFrameCallback, this);
}

CKestrixDialog::~CKestrixDialog() {
  // No frame may arrive once destruction has begun.
  kx::UnregisterFrameSink(this);
  m_pRegImage.reset();
  if (m_wndPreview.GetSafeHwnd()) {
    HBITMAP old =
        reinterpret_cast<HBITMAP>(m_wndPreview.SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (old) DeleteObject(old);
  }
  if (m_CutList) DBDestroyList(m_CutList);
  m_CutList.reset();
  m_JobList.reset();
}

INT_PTR CKestrixDialog::DoModal(CCutMachine* machine, ObjList jobList, uint64 imageObj) {
  m_pCutMachine = machine;
  m_hImageObj = imageObj;
  m_JobList = std::move(jobList);
  return CDialog::DoModal();
}

void CKestrixDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_KX_LIVE, m_wndLive);
  DDX_Control(pDX, IDC_KX_PREVIEW, m_wndPreview);
  DDX_Control(pDX, IDC_KX_COPIES_Y, m_edCopiesY);
  DDX_Control(pDX, IDC_KX_COPIES_X, m_edCopiesX);
  DDX_Text(pDX, IDC_KX_COPIES_X, m_dCopiesX);
  DDX_Text(pDX, IDC_KX_COPIES_Y, m_dCopiesY);
  DDX_Text(pDX, IDC_KX_STEP_X, m_fStepX);
  DDX_Text(pDX, IDC_KX_STEP_Y, m_fStepY);
  DDX_Text(pDX, IDC_KX_STATUS, m_strStatus);
}

BOOL CKestrixDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  m_edCopiesY.SetIntegerMode(0);
  m_edCopiesY.SetSpinMode(true, 1.0, false);
  m_edCopiesY.SetMinRange(1);
  m_edCopiesX.GetSettings(m_edCopiesY);
  m_edCopiesY.SetValue(CValue(1, 0), 1, 1);
  m_edCopiesX.SetValue(CValue(1, 2), 1, 1);

  if (GetIntMorvane(kDialogSection, "Roll", 1, 1, nullptr) != 0) {
    const int rollDir = GetIntDeviceSetup("KestrixRollDir", 0);
    m_edCopiesX.EnableWindow(rollDir == 0);
    m_edCopiesY.EnableWindow(rollDir != 0);
    CheckRadioButton(IDC_KX_ROLL, IDC_KX_SHEET, IDC_KX_ROLL);
  } else {
    CheckRadioButton(IDC_KX_ROLL, IDC_KX_SHEET, IDC_KX_SHEET);
  }

  if (m_bDeviceReady == 0) {
    m_bDeviceReady = 1;
    std::int32_t cutState = 2;
    DEV_SendInfo(kDevCodeCutState, &cutState);
    char port[100] = {};
    GetStringDeviceNull("Port Setup", "Port", port, sizeof port);
    m_nPort = kx::ResolvePort(port);
    ReadWaitLimits();
    m_ptHead = ReadHead();
    m_wndLive.SetWindowPos(nullptr, 0, 0, 192, 256, SWP_NOMOVE | SWP_NOZORDER);
    if (m_wndPreview.GetSafeHwnd()) m_wndPreview.GetClientRect(&m_rcPreview);
    GetRegMarkData();
    GetCutList();
    SetupRegImage(0);
    // From here on frames are stored and shown; the release pairs with UpdateImage's acquire.
    m_bFrameReady.store(true, std::memory_order_release);
    SetupRegImage(0);
  }
  return TRUE;
}

// ---- Live view and head motion ----

void CKestrixDialog::BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                                      void* context, void*) {
  if (!context || byteCount == 0 || !frame) return;
  static_cast<CKestrixDialog*>(context)->UpdateImage(static_cast<int>(byteCount), frame);
}

void CKestrixDialog::UpdateImage(int byteCount, BYTE* frame) {
  if (!m_bFrameReady.load(std::memory_order_acquire)) return;
  const std::size_t count = std::min<std::size_t>(byteCount > 0 ? byteCount : 0, kx::kFrameBytes);
  const cv::Mat cross = kx::CrosshairFrame(frame, count);
  m_FrameBuffer.Store(frame, count);
  kx::ShowFrame(m_wndLive, m_bmiFrame, cross);
}

bool CKestrixDialog::PumpOne() {
  MSG msg{};
  if (!PeekMessage(&msg, GetSafeHwnd(), 0, 0, PM_REMOVE)) return false;
  TranslateMessage(&msg);
  DispatchMessage(&msg);
  return true;
}

void CKestrixDialog::CheckMessages() { PumpOne(); }

POINT CKestrixDialog::ReadHead() const {
  const auto p = kx::ReadHeadPosition(m_nPort);
  return POINT{p.x, p.y};
}

int CKestrixDialog::PositionTolerance() const { return std::max(m_nPosTolerance, m_nNoiseSeen); }

namespace {
// Readings off by up to t units either way scatter with a spread of t / sqrt(3); the mean of
// t * t / 3 of them is within about a unit of the truth. At most 64 readings.
int SettledReadings(int tolerance) {
  return static_cast<int>(std::clamp((static_cast<long>(tolerance) * tolerance + 2) / 3, 1L, 64L));
}
}  // namespace

double CKestrixDialog::SettledUncertainty() const {
  const int tolerance = PositionTolerance();
  return tolerance / std::sqrt(3.0 * SettledReadings(tolerance));
}

POINT CKestrixDialog::ReadHeadSettled() const {
  const int tolerance = PositionTolerance();
  if (tolerance <= 0) return ReadHead();
  const int readings = SettledReadings(tolerance);
  double sx = 0, sy = 0;
  for (int i = 0; i < readings; ++i) {
    const POINT p = ReadHead();
    sx += p.x;
    sy += p.y;
  }
  return POINT{static_cast<LONG>(kx::Trunc(sx / readings)),
               static_cast<LONG>(kx::Trunc(sy / readings))};
}

void CKestrixDialog::NoteFrames() {
  const std::uint64_t sequence = m_FrameBuffer.Sequence();
  if (sequence == m_nFrameSeq) return;
  m_nFrameSeq = sequence;
  m_dwFrameSeen = GetTickCount();
}

void CKestrixDialog::ReadWaitLimits() {
  m_nPosTolerance = std::clamp(GetIntDeviceSetup("KestrixPositionTolerance", 0), 0, 100000);
  m_nHeadTimeout = kx::HeadTimeoutSeconds();
  m_nFrameTimeout = std::clamp(GetIntDeviceSetup("KestrixFrameTimeout", 30), 1, 86400);
}

void CKestrixDialog::MeasureReadingNoise() {
  // Readings back to back of a head at rest agree on a behaving cutter. When two do not, a few
  // more show how far they scatter: each reading may be off by half the widest spread.
  POINT lo = ReadHead();
  POINT hi = lo;
  const POINT second = ReadHead();
  if (second.x == lo.x && second.y == lo.y) return;
  for (int i = 0; i < 9; ++i) {
    const POINT p = i == 0 ? second : ReadHead();
    lo = POINT{std::min(lo.x, p.x), std::min(lo.y, p.y)};
    hi = POINT{std::max(hi.x, p.x), std::max(hi.y, p.y)};
  }
  const long spread = std::max(static_cast<long>(hi.x) - lo.x, static_cast<long>(hi.y) - lo.y);
  const int noise = static_cast<int>(std::min<long>((spread + 1) / 2, 100000));
  m_nNoiseSeen = std::max(m_nNoiseSeen, noise);
}

void CKestrixDialog::MoveTo(long x, long y) {
  m_bMoving = 1;
  sendxyNoW(x, y, kMoveTravel);
  POINT p = ReadHead();
  const POINT start = p;
  POINT previous{-1, -1};
  const DWORD began = GetTickCount();
  // Readings that may each be off by the tolerance count as equal when they differ by twice it.
  const long tolerance = PositionTolerance();
  const long arrival = 3 + tolerance;
  const long agree = 2 * tolerance;
  const auto near = [](POINT a, POINT b, long d) {
    return std::labs(a.x - b.x) <= d && std::labs(a.y - b.y) <= d;
  };
  const bool sentAway = !near(p, POINT{static_cast<LONG>(x), static_cast<LONG>(y)}, arrival);
  bool moved = false;
  bool arrived = false;
  for (;;) {
    if (!near(p, start, agree)) moved = true;
    if (near(p, POINT{static_cast<LONG>(x), static_cast<LONG>(y)}, arrival)) {
      arrived = true;
      break;
    }
    if (previous.x != -1 && near(p, previous, agree)) break;  // stalled or blocked short
    if (p.x == previous.x && p.y == previous.y) break;
    if (m_bMoving == 0) break;  // Stop
    if (m_bFault == 1) break;   // the run has ended on a fault of the machine already
    if (GetTickCount() - began >= static_cast<DWORD>(m_nHeadTimeout) * 1000u) {
      m_bMoving = 0;
      EndRunOnFault(kx::kHeadNotResting, m_nHeadTimeout);
      break;
    }
    Sleep(200);
    previous = p;
    p = ReadHead();
    NoteFrames();
    PumpOne();
  }
  if (moved) {
    m_nStillMoves = 0;
    m_bLastMoveArrived = arrived;
  } else if (sentAway) {
    m_nStillMoves += 1;
  }
  m_bMoving = 0;
}

void CKestrixDialog::MoveToOffset(long dx, long dy) {
  PumpOne();
  // The head rests where the last move left it: a good moment to see what a reading carries.
  MeasureReadingNoise();
  long tx = m_ptHead.x + dx;
  long ty = m_ptHead.y + dy;
  if (tx < 0) tx = 0;
  if (ty < 0) ty = 0;
  MoveTo(tx, ty);
  m_ptHead = POINT{static_cast<LONG>(tx), static_cast<LONG>(ty)};
  m_ptHead = ReadHeadSettled();
}

void CKestrixDialog::OnLButtonDown(UINT nFlags, CPoint point) {
  CDialog::OnLButtonDown(nFlags, point);
  if (m_bRunning == 1 && m_bManualLocate == 0) return;
  CRect r;
  m_wndLive.GetWindowRect(&r);
  ClientToScreen(&point);
  if (!r.PtInRect(point) || m_bMoving == 1) return;
  int f = 1;
  if (nFlags & MK_CONTROL) f = (nFlags & MK_SHIFT) ? 4 : 2;
  const long cx = (r.left + r.right) / 2;
  const long cy = (r.top + r.bottom) / 2;
  const long w = r.right - r.left;
  const long h = r.bottom - r.top;
  const double k = f * m_dScale;
  const long dx = kx::Trunc((480.0 / w) * (point.x - cx) * k);
  const long dy = kx::Trunc((-640.0 / h) * (point.y - cy) * k);
  // A close request while the head travels ends the wait first (nested in a run the run's own
  // busy scope holds already).
  CBusyScope busy(*this);
  MoveToOffset(dx, dy);
}

// ---- Job data ----

int CKestrixDialog::GetRegMarkData() {
  uint64 h = DBGetFirstMember(m_JobList);
  if (h == 0) return 1;
  int n = 0;
  while (h != 0) {
    if (ObjFilter_IsRegMark(h, 0) != 0) {
      m_hRegMark[n] = h;
      n += 1;
      if (n > 2) break;
    }
    h = DBGetNextMember(m_JobList);
  }
  return 1;
}

int CKestrixDialog::GetCutList() {
  if (m_CutList) DBDestroyList(m_CutList);
  m_CutList = DBCreateEmptyList();
  for (uint64 h = DBGetFirstMember(m_JobList); h != 0; h = DBGetNextMember(m_JobList)) {
    if (ObjFilter_IsRegMark(h, 0) == 0) DBAddToList(m_CutList, DBCopyObject(h));
  }
  return 1;
}

// ---- Reference image ----

void CKestrixDialog::SetupRegImage(int mark) {
  // No mark, no area: the reference stays as it was (none for a job without marks).
  if (mark < 0 || mark > 2 || m_hRegMark[mark] == 0) return;
  CQvBitmap* bitmap = kx::ObjectBitmap(m_hImageObj);
  if (!bitmap) return;
  const double k = m_dScale * 2.54;
  bitmap->Resample(kx::TruncInt(bitmap->GetRealWidth() * 1000 / k),
                   kx::TruncInt(bitmap->GetRealHeight() * 1000 / k), 6, 1);
  BYTE* bits = nullptr;
  if (!bitmap->CopyDataBits(&bits)) return;

  const int W = bitmap->Width();
  const int H = bitmap->Height();
  // The whole-pixel size makes a pixel of the resampled bitmap a little larger than Scale.
  if (W > 0 && H > 0)
    m_ptRefUnitsPerPixel = cv::Point2d(bitmap->GetRealWidth() / kx::kDocPerCutter / W,
                                       bitmap->GetRealHeight() / kx::kDocPerCutter / H);
  // The host's copy is already W x H rows of 3 W bytes, top row first: it becomes the image's
  // pixels without a second copy. The old image goes before the pixels it viewed.
  std::unique_ptr<BYTE, FreeBits> owned(bits);
  m_pRegImage = std::make_unique<kx::RoiImage>(cv::Mat(H, W, CV_8UC3, owned.get()));
  m_pRegBits = std::move(owned);

  BOUNDS A{};
  BOUNDS C{};
  DBGetObjectBounds(m_hRegMark[mark], &A);
  DBGetObjectBounds(m_hImageObj, &C);
  int ox = 0, oy = 0, ax0 = 0, ay0 = 0, ax1 = 0, ay1 = 0;
  bitmap->MapRealToBitmap(C.minX, C.maxY, &ox, &oy, false);
  bitmap->MapRealToBitmap(A.minX, A.minY, &ax0, &ay0, false);
  bitmap->MapRealToBitmap(A.maxX, A.maxY, &ax1, &ay1, false);
  m_pRegImage->SetRoi(kx::ReferenceArea(ox, oy, ax0, ay0, ax1, ay1, H));

  if (!m_wndPreview.GetSafeHwnd()) return;
  const cv::Rect roi = m_pRegImage->Roi();
  const int f = kx::PreviewFactor(
      roi.size(), {m_rcPreview.right - m_rcPreview.left, m_rcPreview.bottom - m_rcPreview.top});
  m_wndPreview.SetWindowPos(nullptr, 0, 0, roi.width / f, roi.height / f,
                            SWP_NOMOVE | SWP_NOZORDER);
  RECT rc{};
  m_wndPreview.GetClientRect(&rc);
  const int pw = rc.right - rc.left;
  const int ph = rc.bottom - rc.top;
  if (pw <= 0 || ph <= 0) return;
  const cv::Mat preview = kx::RenderPreview(m_pRegImage->RoiMat(), {pw, ph});

  HDC memDc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(pw, ph);
  void* dibBits = nullptr;
  HBITMAP dib = CreateDIBSection(memDc, &info, DIB_RGB_COLORS, &dibBits, nullptr, 0);
  DeleteDC(memDc);
  if (!dib || !dibBits) return;
  const int stride = kx::DibStride(pw);
  for (int row = 0; row < ph; ++row)
    std::memcpy(static_cast<BYTE*>(dibBits) + static_cast<std::size_t>(row) * stride,
                preview.ptr(row), static_cast<std::size_t>(pw) * 3);
  HBITMAP old = reinterpret_cast<HBITMAP>(m_wndPreview.SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (old) DeleteObject(old);
  m_wndPreview.SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(dib));
}

// ---- Geometry over the dialog's tables ----

TM CKestrixDialog::GetTM(NewWorldPt src, NewWorldPt dst) { return kx::GetTM(src, dst); }
TM CKestrixDialog::GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1) {
  return kx::GetTM(src0, src1, dst0, dst1);
}
TM CKestrixDialog::GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt src2, NewWorldPt dst0,
                         NewWorldPt dst1, NewWorldPt dst2) {
  return kx::GetTM(src0, src1, src2, dst0, dst1, dst2);
}
bool CKestrixDialog::GetRealPoint(int count, NewWorldPt ref, NewWorldPt* out) {
  return kx::GetRealPoint(count, ref, out, m_RefPt, m_FoundPt);
}
bool CKestrixDialog::CalcPointTM(TM tm, long* x, long* y) { return kx::CalcPointTM(tm, x, y); }
double CKestrixDialog::CalcAngle(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0) {
  return kx::CalcAngle(pt1, pt2, pt0);
}
double CKestrixDialog::CalcAngle360(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0) {
  return kx::CalcAngle360(pt1, pt2, pt0);
}
double CKestrixDialog::CalcAngle2Pt(double x1, double y1, double x2, double y2) {
  return kx::CalcAngle2Pt(x1, y1, x2, y2);
}
double CKestrixDialog::CalcAngle2Pt(cv::Point p1, cv::Point p2) { return kx::CalcAngle2Pt(p1, p2); }
int CKestrixDialog::CalcTwoCalPoint(double x, double y, double* outX, double* outY) {
  return kx::CalcTwoCalPoint(x, y, outX, outY, m_ptCalSrc, m_ptCalDst);
}
int CKestrixDialog::CalcPoint(double x, double y, double* outX, double* outY) {
  return kx::CalcPoint(x, y, outX, outY, m_ptCalSrc, m_ptCalDst);
}

void CKestrixDialog::ShowErrorMsg(DWORD code) {
  const std::string text = kx::CameraErrorText(code);
  MessageBox(nullptr, text.c_str(), "Error Message", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}
