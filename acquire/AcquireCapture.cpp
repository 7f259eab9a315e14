// The acquire dialog's capture: the walk over the tiles still to be taken and the montage.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "acquire/KestrixAcquireDialog.h"
#include "acquire/Montage.h"
#include "acquire/TileGrid.h"
#include "common/Frame.h"
#include "common/Log.h"
#include "common/Units.h"
#include "host/DriverSession.h"
#include "host/Translation.h"
#include "platform/Cursor.h"
#include "platform/Gdi.h"

namespace {
const char kCaption[] = "Reference image";
}  // namespace

void CKestrixAcquireDialog::OnBnClickedButton1() { Capture(); }

bool CKestrixAcquireDialog::Capture() {
  const kx::MontageBudget budget =
      kx::CheckMontageBudget(m_nCols, m_nRows, kx::AvailableMemoryBytes());
  if (!budget.fits) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "An area of %d X %d images needs %llu MB of memory; this computer can spare "
                  "%llu MB. The area is unchanged: make it smaller.",
                  m_nRows, m_nCols, static_cast<unsigned long long>(budget.neededBytes >> 20),
                  static_cast<unsigned long long>(budget.allowedBytes >> 20));
    TMessageBox(this, text, kCaption, MB_OK | MB_ICONWARNING);
    return false;
  }

  CWaitCursor wait;
  m_bCapturing = true;
  bool complete = true;
  long missedX = 0, missedY = 0;
  for (int r = 0; r < m_nRows && complete; ++r) {
    for (int c = 0; c < m_nCols; ++c) {
      if (m_Captured[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] != 0) continue;
      const POINT target = kx::TileTarget(m_ptHead, c, r, m_nOriginCol, m_nOriginRow, m_dScale);
      const long x = target.x;
      const long y = target.y;
      if (!MoveTo(x, y)) {
        complete = false;
        missedX = x;
        missedY = y;
        break;
      }
      GetCamImage(c, r);
      m_Captured[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = 1;
    }
  }
  const bool parked = MoveTo(m_ptHead.x, m_ptHead.y);
  if (!complete || !parked) {
    // A montage of a grid with holes would be a reference that does not match the material.
    ReleaseMontage();
    char text[400];
    std::snprintf(text, sizeof text,
                  "The cutter head did not reach %ld, %ld within %lu seconds. The images still "
                  "missing are taken at the next change of the area; until then OK does nothing.",
                  complete ? static_cast<long>(m_ptHead.x) : missedX,
                  complete ? static_cast<long>(m_ptHead.y) : missedY,
                  static_cast<unsigned long>(kArrivalLimitMs / 1000));
    m_bCapturing = false;
    TMessageBox(this, text, kCaption, MB_OK | MB_ICONWARNING);
    return true;
  }
  // Real time on purpose: the montage costs the computer, not the machine.
  const auto montageStart = std::chrono::steady_clock::now();
  if (BuildMontage() && m_wndMontage.GetSafeHwnd()) {
    ShowDisplay();
    ShowImageCount(m_nRows, m_nCols);
  }
  m_dMontageSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - montageStart).count();
  m_bCapturing = false;
  return true;
}

bool CKestrixAcquireDialog::GetCamImage(int column, int row) {
  cv::Mat tile = m_FrameBuffer.Snapshot();
  const std::size_t i = static_cast<std::size_t>(m_nCols) * row + column;
  if (m_Tiles.size() < i)
    m_Tiles.push_back(std::move(tile));
  else
    m_Tiles.insert(m_Tiles.begin() + static_cast<std::ptrdiff_t>(i), std::move(tile));
  const kx::HeadPoint head = kx::ReadHeadPosition(m_nPort);
  m_TilePositions.push_back(POINT{head.x, head.y});
  return true;
}

void CKestrixAcquireDialog::ReleaseMontage() {
  if (m_hMontage) DeleteObject(m_hMontage);
  m_hMontage = nullptr;
  m_pMontageBits = nullptr;
  m_bmiMontage = BITMAPINFOHEADER{};
}

bool CKestrixAcquireDialog::BuildMontage() {
  // The replaced montage goes first, so that old and new never need memory together.
  ReleaseMontage();
  const int W = m_nCols * kx::kFrameWidth;
  const int H = m_nRows * kx::kFrameHeight;
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(W, H, false);
  void* bits = nullptr;
  HBITMAP montage = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!montage || !bits) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window,
            "acquire: no bitmap for a montage of " + std::to_string(W) + " x " + std::to_string(H) +
                " pixels");
    return false;
  }
  if (!kx::AssembleMontage(m_Tiles, m_nCols, m_nRows, static_cast<BYTE*>(bits))) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window,
            "acquire: the tiles taken do not fill the grid");
    DeleteObject(montage);
    return false;
  }
  m_hMontage = montage;
  m_pMontageBits = static_cast<BYTE*>(bits);
  m_bmiMontage = info.bmiHeader;
  return true;
}

void CKestrixAcquireDialog::ShowDisplay() {
  RECT client{};
  m_wndMontage.GetClientRect(&client);
  const int W = m_nCols * kx::kFrameWidth;
  const int H = m_nRows * kx::kFrameHeight;
  const kx::ZoomGeometry zoom = kx::MontageZoomGeometry(client, W, H);
  std::vector<BYTE> pixels;
  std::string error;
  BITMAPINFOHEADER header{};
  if (!kx::MakeMontageDisplay(m_pMontageBits, W, H, zoom.width, zoom.height, &header, &pixels,
                              &error)) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window, "acquire: " + error);
    return;
  }
  m_bmiDisplay = header;
  BITMAPINFO info{};
  info.bmiHeader = m_bmiDisplay;
  void* bits = nullptr;
  HBITMAP display = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!display || !bits) return;
  std::memcpy(bits, pixels.data(), pixels.size());
  m_wndMontage.SetBitmap(display);
  if (m_hDisplay) DeleteObject(m_hDisplay);
  m_hDisplay = display;
}
