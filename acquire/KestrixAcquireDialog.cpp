// The reference acquisition dialog: lifecycle, live view, head motion and the tile grid.
#include "acquire/KestrixAcquireDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "acquire/Montage.h"
#include "acquire/TileGrid.h"
#include "common/Frame.h"
#include "common/Units.h"
#include "host/Camera.h"
#include "host/DriverSession.h"
#include "host/Settings.h"
#include "host/Translation.h"
#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/Gdi.h"
#include "vision/LiveView.h"

namespace {

const char kSetupSection[] = "Kestrix Setup";
const char kImagesText[] =
    "(*v*)Click on Arrows for camera direction, OK Button to select reference. Images %d X %d";
const char kCaption[] = "Reference image";
constexpr long kArrivalTolerance = 10;
constexpr DWORD kPollMs = 100;
constexpr DWORD kSettleMs = 500;

// The arrow buttons in the order of m_btnArrow, with the bitmap each shows.
struct ArrowButton {
  int id;
  UINT bitmap;
};
constexpr ArrowButton kArrows[8] = {
    {IDC_KX_ORIGIN_TL, IDB_KX_ARROW_UP_LEFT},  {IDC_KX_ORIGIN_TC, IDB_KX_ARROW_UP},
    {IDC_KX_ORIGIN_TR, IDB_KX_ARROW_UP_RIGHT}, {IDC_KX_ORIGIN_CL, IDB_KX_ARROW_LEFT},
    {IDC_KX_ORIGIN_CR, IDB_KX_ARROW_RIGHT},    {IDC_KX_ORIGIN_BL, IDB_KX_ARROW_DOWN_LEFT},
    {IDC_KX_ORIGIN_BC, IDB_KX_ARROW_DOWN},     {IDC_KX_ORIGIN_BR, IDB_KX_ARROW_DOWN_RIGHT}};
constexpr COLORREF kArrowMask = 0xC0C0C0;

}  // namespace

BEGIN_MESSAGE_MAP(CKestrixAcquireDialog, CDialog)
ON_WM_LBUTTONDOWN()
ON_BN_CLICKED(IDC_KX_ORIGIN_TL, &CKestrixAcquireDialog::OnBnClickedOriginTl)
ON_BN_CLICKED(IDC_KX_ORIGIN_TC, &CKestrixAcquireDialog::OnBnClickedOriginTc)
ON_BN_CLICKED(IDC_KX_ORIGIN_TR, &CKestrixAcquireDialog::OnBnClickedOriginTr)
ON_BN_CLICKED(IDC_KX_ORIGIN_CL, &CKestrixAcquireDialog::OnBnClickedOriginCl)
ON_BN_CLICKED(IDC_KX_ORIGIN_CR, &CKestrixAcquireDialog::OnBnClickedOriginCr)
ON_BN_CLICKED(IDC_KX_ORIGIN_BL, &CKestrixAcquireDialog::OnBnClickedOriginBl)
ON_BN_CLICKED(IDC_KX_ORIGIN_BC, &CKestrixAcquireDialog::OnBnClickedOriginBc)
ON_BN_CLICKED(IDC_KX_ORIGIN_BR, &CKestrixAcquireDialog::OnBnClickedOriginBr)
ON_BN_CLICKED(IDC_KX_ZET_START, &CKestrixAcquireDialog::OnBnClickedZetStart)
ON_BN_CLICKED(IDC_KX_ZET_END, &CKestrixAcquireDialog::OnBnClickedZetEnd)
END_MESSAGE_MAP()

CKestrixAcquireDialog::CKestrixAcquireDialog(CWnd* pParent)
    : CDialog(IDD_KESTRIX_ACQUIRE, pParent) {
  m_dScale = GetDoubleMorvane(kSetupSection, "Scale", 1.0, 1, nullptr);
  m_pJob = new JOBDATA{};
  kx::OpenDriver(m_pJob);
  char port[100] = {};
  GetStringDeviceNull("Port Setup", "Port", port, sizeof port);
  m_nPort = kx::ResolvePort(port);
  const kx::HeadPoint head = kx::ReadHeadPosition(m_nPort);
  m_ptHead = POINT{head.x, head.y};
  m_ptStart = m_ptHead;
  kx::RegisterFrameSink(&CKestrixAcquireDialog::BmpFrameCallback, this);
}

CKestrixAcquireDialog::~CKestrixAcquireDialog() {
  // No frame may arrive once destruction has begun.
  kx::UnregisterFrameSink(this);
  kx::CloseDriver(m_pJob);
  delete m_pJob;
  m_pJob = nullptr;
  ReleaseMontage();
  // The view lends the display bitmap only: it is ours, also once the window is gone.
  if (m_wndMontage.GetSafeHwnd()) m_wndMontage.SetBitmap(nullptr);
  if (m_hDisplay) DeleteObject(m_hDisplay);
  m_hDisplay = nullptr;
}

void CKestrixAcquireDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_KX_ACQUIRE_LIVE, m_wndLive);
  DDX_Control(pDX, IDC_KX_MONTAGE, m_wndMontage);
  for (int i = 0; i < 8; ++i) DDX_Control(pDX, kArrows[i].id, m_btnArrow[i]);
  DDX_Control(pDX, IDC_KX_ZET_START, m_btnStart);
  DDX_Control(pDX, IDC_KX_ZET_END, m_btnEnd);
  DDX_Control(pDX, IDOK, m_btnOK);
}

BOOL CKestrixAcquireDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  for (int i = 0; i < 8; ++i) m_btnArrow[i].LoadBitmap(kArrows[i].bitmap, FALSE, kArrowMask);
  ShowImageCount(0, 0);
  if (m_bInitDone == 0) {
    m_bInitDone = 1;
    m_wndLive.SetWindowPos(nullptr, 0, 0, 192, 256, SWP_NOMOVE | SWP_NOZORDER);
    // From here on frames are stored and shown; the release pairs with UpdateImage's acquire.
    m_bFrameReady.store(true, std::memory_order_release);
  }
  return TRUE;
}

// ---- Live view ----

void CKestrixAcquireDialog::BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD,
                                             DWORD, void* context, void*) {
  if (!context || byteCount == 0 || !frame) return;
  static_cast<CKestrixAcquireDialog*>(context)->UpdateImage(static_cast<int>(byteCount), frame);
}

void CKestrixAcquireDialog::UpdateImage(int byteCount, BYTE* frame) {
  if (!m_bFrameReady.load(std::memory_order_acquire)) return;
  const std::size_t count = std::min<std::size_t>(byteCount > 0 ? byteCount : 0, kx::kFrameBytes);
  const cv::Mat cross = kx::CrosshairFrame(frame, count);
  m_FrameBuffer.Store(frame, count);
  kx::ShowFrame(m_wndLive, m_bmiFrame, cross);
}

// ---- Head motion ----

bool CKestrixAcquireDialog::WaitForHead(long x, long y) {
  for (DWORD waited = 0;; waited += kPollMs) {
    const kx::HeadPoint p = kx::ReadHeadPosition(m_nPort);
    if (std::labs(p.x - x) <= kArrivalTolerance && std::labs(p.y - y) <= kArrivalTolerance)
      return true;
    if (waited >= kArrivalLimitMs) return false;
    Sleep(kPollMs);
  }
}

bool CKestrixAcquireDialog::MoveTo(long x, long y) {
  sendxyNoW(x, y, kMoveTravel);
  ++m_nMoves;
  if (!WaitForHead(x, y)) return false;
  Sleep(kSettleMs);
  return true;
}

void CKestrixAcquireDialog::OnLButtonDown(UINT nFlags, CPoint point) {
  CDialog::OnLButtonDown(nFlags, point);
  CRect r;
  m_wndLive.GetWindowRect(&r);
  ClientToScreen(&point);
  if (!r.PtInRect(point)) return;
  const POINT target = kx::ClickTarget(m_ptHead, point, r, nFlags, m_dScale);
  const long x = target.x;
  const long y = target.y;
  if (!MoveTo(x, y)) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "The cutter head did not reach %ld, %ld within %lu seconds. The area is "
                  "unchanged.",
                  x, y, static_cast<unsigned long>(kArrivalLimitMs / 1000));
    TMessageBox(this, text, kCaption, MB_OK | MB_ICONWARNING);
    return;
  }
  ChangeGrid([&] {
    m_ptHead = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
    m_Tiles.clear();
    ResetGrid(1, 1, 0, 0);
  });
}

// ---- The grid ----

CKestrixAcquireDialog::GridState CKestrixAcquireDialog::SaveGrid() const {
  // Tiles are shared, not copied: saving costs no pixels.
  return GridState{m_nCols, m_nRows, m_nOriginCol, m_nOriginRow, m_ptHead, m_Captured, m_Tiles};
}

void CKestrixAcquireDialog::RestoreGrid(GridState state) {
  m_nCols = state.cols;
  m_nRows = state.rows;
  m_nOriginCol = state.originCol;
  m_nOriginRow = state.originRow;
  m_ptHead = state.head;
  m_Captured = std::move(state.captured);
  m_Tiles = std::move(state.tiles);
}

template <typename Change>
void CKestrixAcquireDialog::ChangeGrid(Change change) {
  GridState before = SaveGrid();
  change();
  if (!Capture()) RestoreGrid(std::move(before));
}

void CKestrixAcquireDialog::ResetGrid(int cols, int rows, int originCol, int originRow) {
  m_nCols = cols;
  m_nRows = rows;
  m_nOriginCol = originCol;
  m_nOriginRow = originRow;
  m_Captured.assign(static_cast<std::size_t>(rows),
                    std::vector<int>(static_cast<std::size_t>(cols), 0));
}

void CKestrixAcquireDialog::GrowGrid(bool left, bool right, bool top, bool bottom) {
  ChangeGrid([=, this] {
    if (left) {
      for (auto& row : m_Captured) row.insert(row.begin(), 0);
      m_nCols += 1;
      m_nOriginCol += 1;
    }
    if (right) {
      for (auto& row : m_Captured) row.push_back(0);
      m_nCols += 1;
    }
    const std::vector<int> blank(m_Captured.front().size(), 0);
    if (top) {
      m_Captured.insert(m_Captured.begin(), blank);
      m_nRows += 1;
      m_nOriginRow += 1;
    }
    if (bottom) {
      m_Captured.push_back(blank);
      m_nRows += 1;
    }
  });
}

void CKestrixAcquireDialog::OnBnClickedOriginTl() { GrowGrid(true, false, true, false); }
void CKestrixAcquireDialog::OnBnClickedOriginTc() { GrowGrid(false, false, true, false); }
void CKestrixAcquireDialog::OnBnClickedOriginTr() { GrowGrid(false, true, true, false); }
void CKestrixAcquireDialog::OnBnClickedOriginCl() { GrowGrid(true, false, false, false); }
void CKestrixAcquireDialog::OnBnClickedOriginCr() { GrowGrid(false, true, false, false); }
void CKestrixAcquireDialog::OnBnClickedOriginBl() { GrowGrid(true, false, false, true); }
void CKestrixAcquireDialog::OnBnClickedOriginBc() { GrowGrid(false, false, false, true); }
void CKestrixAcquireDialog::OnBnClickedOriginBr() { GrowGrid(false, true, false, true); }

void CKestrixAcquireDialog::OnBnClickedZetStart() {
  m_ptStart = m_ptHead;
  m_btnEnd.EnableWindow(TRUE);
}

void CKestrixAcquireDialog::OnBnClickedZetEnd() {
  if (m_ptStart.x + m_ptStart.y <= 0) return;
  const kx::GridSpan span = kx::SpanGrid(m_ptStart, m_ptHead, m_dScale);
  ChangeGrid([&] {
    ResetGrid(span.cols, span.rows, span.originCol, span.originRow);
    m_ptHead = span.head;
    m_Tiles.clear();
  });
}

void CKestrixAcquireDialog::OnCancel() { CDialog::OnCancel(); }

void CKestrixAcquireDialog::ShowImageCount(int first, int second) {
  const std::string format = kx::Translate(kImagesText);
  char text[512];
  std::snprintf(text, sizeof text, format.c_str(), first, second);
  SetDlgItemText(IDC_KX_MESSAGE, text);
}
