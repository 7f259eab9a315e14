// The reference acquisition dialog: photographs an area of the material tile by tile, joins the
// tiles into a montage and puts it into the document with three registration marks.
// Threads: bound to one thread (the dialog's), except BmpFrameCallback and UpdateImage, which run
// on the camera thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/BitmapInfo.h"
#include "common/Export.h"
#include "common/FrameBuffer.h"
#include "common/WinTypes.h"
#include "host/CutterDriver.h"
#include "host/ResourceIds.h"
#include "platform/Dialog.h"

class KX_EXPORT CKestrixAcquireDialog : public CDialog {
 public:
  // Reads "Scale", opens the cutter driver, resolves the port and reads the head position, which
  // anchors a 1 x 1 grid with nothing taken yet; registers for camera frames.
  explicit CKestrixAcquireDialog(CWnd* pParent = nullptr);
  // Stops the frames and closes the cutter driver.
  ~CKestrixAcquireDialog() override;
  CKestrixAcquireDialog(const CKestrixAcquireDialog&) = delete;
  CKestrixAcquireDialog& operator=(const CKestrixAcquireDialog&) = delete;

  // Camera frame entry, called on the camera thread; context is the dialog.
  static void BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                               void* context, void*);
  // Live view: keeps the raw frame and shows it with a green crosshair. Camera thread.
  void UpdateImage(int byteCount, BYTE* frame);

  // Handlers. Each grid change runs the capture (OnBnClickedButton1).
  void OnLButtonDown(UINT nFlags, CPoint point);
  void OnBnClickedOriginTl();
  void OnBnClickedOriginTc();
  void OnBnClickedOriginTr();
  void OnBnClickedOriginCl();
  void OnBnClickedOriginCr();
  void OnBnClickedOriginBl();
  void OnBnClickedOriginBc();
  void OnBnClickedOriginBr();
  void OnBnClickedZetStart();
  void OnBnClickedZetEnd();
  // Takes the tiles still to be taken, parks the head at the reference position and rebuilds the
  // montage and its display. Blocks the dialog's thread for the whole capture.
  void OnBnClickedButton1();

  // Absolute head move, cutter units; blocks until the head is within 10 units of the target,
  // then lets it settle 500 ms. False, after kArrivalLimitMs of waiting, when it never arrives.
  bool MoveTo(long x, long y);
  // How long MoveTo waits for the head to arrive before it gives up, milliseconds.
  static constexpr DWORD kArrivalLimitMs = 30000;

  // What an observer may read: the grid, the head reference and start corner, the tiles taken,
  // and the full-resolution montage (null before the first complete capture).
  int Columns() const { return m_nCols; }
  int Rows() const { return m_nRows; }
  int OriginColumn() const { return m_nOriginCol; }
  int OriginRow() const { return m_nOriginRow; }
  POINT HeadReference() const { return m_ptHead; }
  POINT StartCorner() const { return m_ptStart; }
  const std::vector<std::vector<int>>& Captured() const { return m_Captured; }
  const std::vector<cv::Mat>& Tiles() const { return m_Tiles; }
  const BITMAPINFOHEADER& MontageHeader() const { return m_bmiMontage; }
  const BYTE* MontageBits() const { return m_pMontageBits; }
  const BITMAPINFOHEADER& DisplayHeader() const { return m_bmiDisplay; }
  // The head position each tile was taken at, in the order taken, since the dialog opened.
  const std::vector<POINT>& TilePositions() const { return m_TilePositions; }
  // The document objects OK created: the bitmap object and the marks the host accepted.
  uint64 ImageObject() const { return m_hImage; }
  const std::vector<uint64>& Marks() const { return m_Marks; }
  // Head moves sent since the dialog opened.
  int HeadMoves() const { return m_nMoves; }
  // Real (not machine) time the latest montage and its display copy took to build, seconds.
  double MontageSeconds() const { return m_dMontageSeconds; }
  // True while a capture holds the dialog's thread.
  bool IsCapturing() const { return m_bCapturing; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // Puts the montage into the document as a bitmap object (one undo step) with three marks at
  // its corners and closes the dialog; does nothing before the first capture.
  void OnOK() override;
  void OnCancel() override;

  // Takes the current live frame as the tile of grid cell (column, row) at its row-major place.
  bool GetCamImage(int column, int row);

  CStatic m_wndLive;
  CStatic m_wndMontage;
  CBitmapButton m_btnArrow[8];
  CBitmapButton m_btnStart;
  CBitmapButton m_btnEnd;
  CBitmapButton m_btnOK;

  double m_dScale = 1.0;
  JOBDATA* m_pJob = nullptr;
  int m_nPort = 0;
  POINT m_ptHead{0, 0};
  POINT m_ptStart{0, 0};
  int m_nCols = 1;
  int m_nRows = 1;
  int m_nOriginCol = 0;
  int m_nOriginRow = 0;
  std::vector<std::vector<int>> m_Captured{{0}};
  std::vector<cv::Mat> m_Tiles;
  // The latest raw camera frame (written on the camera thread, read when a tile is taken).
  kx::FrameBuffer m_FrameBuffer;
  const BITMAPINFOHEADER m_bmiFrame = kx::FrameBuffer::Header();
  BITMAPINFOHEADER m_bmiMontage{};
  BYTE* m_pMontageBits = nullptr;
  BITMAPINFOHEADER m_bmiDisplay{};
  int m_bInitDone = 0;

 private:
  // The grid as a change finds it, to go back to when the capture of the changed grid is refused.
  struct GridState {
    int cols, rows, originCol, originRow;
    POINT head;
    std::vector<std::vector<int>> captured;
    std::vector<cv::Mat> tiles;
  };
  GridState SaveGrid() const;
  void RestoreGrid(GridState state);
  // The capture; false when it was refused before any head move (the grid is too large), true
  // otherwise, also when the head gave up on the way (the tiles not taken keep their 0 flag).
  bool Capture();
  // Runs a grid change and its capture; a refused capture leaves the grid as it was.
  template <typename Change>
  void ChangeGrid(Change change);
  void GrowGrid(bool left, bool right, bool top, bool bottom);
  void ResetGrid(int cols, int rows, int originCol, int originRow);
  void ReleaseMontage();
  void ShowImageCount(int first, int second);
  // Builds the montage and the display copy from m_Tiles; false when the grid is incomplete.
  bool BuildMontage();
  void ShowDisplay();
  bool WaitForHead(long x, long y);

  HBITMAP m_hMontage = nullptr;
  HBITMAP m_hDisplay = nullptr;
  std::vector<POINT> m_TilePositions;
  uint64 m_hImage = 0;
  std::vector<uint64> m_Marks;
  int m_nMoves = 0;
  double m_dMontageSeconds = 0.0;
  bool m_bCapturing = false;
  // Set once OnInitDialog has readied the frame buffer and the live view: frames before that are
  // neither stored nor shown.
  std::atomic<bool> m_bFrameReady{false};

  DECLARE_MESSAGE_MAP()
};
