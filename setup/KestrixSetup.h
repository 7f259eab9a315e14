// The camera setup page: camera values, Scale and the camera-to-knife offset, the live view, and
// the calibration that measures Scale and the offset by cutting a square and finding it.
// Threads: bound to one thread (the sheet's), except BmpFrameCallback and UpdateImage, which run
// on the camera thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/BitmapInfo.h"
#include "common/Export.h"
#include "common/FrameBuffer.h"
#include "common/WinTypes.h"
#include "host/CutterDriver.h"
#include "host/ResourceIds.h"
#include "host/ValidatedEdit.h"
#include "platform/Dialog.h"

class KX_EXPORT CKestrixSetup : public CPropertyPage {
 public:
  // Opens the cutter driver for the page's lifetime, resolves the port and reads the head; the
  // page's title becomes the translation of "(*v*)Kestrix". pParent is not used.
  explicit CKestrixSetup(CWnd* pParent = nullptr);
  // Closes the driver (cutting power 0 first) whether or not the values were stored.
  ~CKestrixSetup() override;
  CKestrixSetup(const CKestrixSetup&) = delete;
  CKestrixSetup& operator=(const CKestrixSetup&) = delete;

  // Frees each light-level entry's text copy and clears the entry's data; each copy is freed
  // once however often this runs.
  void ReleaseAlcModeData();

  // Camera frame entry, called on the camera thread; context is the page. Ignores a call
  // without context, bytes or frame.
  static void BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                               void* context, void*);
  // Draws one frame with the crosshair and the head's coordinates into the live view and keeps
  // the raw frame for the calibration. A frame before initialisation is dropped; of a longer
  // one only the first 921,600 bytes are used.
  void UpdateImage(int byteCount, BYTE* frame);

  // Handlers.
  void OnAutoWhiteBallance();
  void OnGammaMode();
  void OnSelchangeAgCalcMode();
  void OnReleasedCapture(NMHDR* pNMHDR, LRESULT* pResult);
  void OnLButtonDown(UINT nFlags, CPoint point);
  void OnCalibrate();

  // Moves the head by (dx, dy) cutter units from where it stands (cut 1: with the knife down) and
  // waits until it is within 3 units of the target, then 1,000 ms more. Blocks the page's thread.
  // A head that has not arrived after "KestrixHeadTimeout" seconds of the clock (the run's limit,
  // host/HeadWait.h) is given up on: the knife is lifted where the head stands, the user is told
  // with the run's message, and MoveFailed() reports it until the next move.
  void MoveToOffset(long dx, long dy, int cut);

  // What an observer of the page may read.
  POINT HeadPosition() const { return m_ptHead; }
  POINT TargetPosition() const { return m_ptTarget; }
  POINT CalibrationStart() const { return m_ptCalStart; }
  double Scale() const { return m_dScale; }
  double XOffset() const { return m_dXOffset; }
  double YOffset() const { return m_dYOffset; }
  bool IsWaitingForManualCalibration() const { return m_bWaitManualCal != 0; }
  bool IsCalibrating() const { return m_bCalibrating; }
  // Whether the last press of Calibrate ended with the camera centred on the square.
  bool CalibrationSucceeded() const { return m_bCalibrated; }
  // Precision mode ("KestrixPrecision" 1): whether the last calibration was refined, and the
  // values of the square's own arithmetic that the refined ones replaced in Scale and the offsets.
  bool CalibrationRefined() const { return m_bRefined; }
  double SquareScale() const { return m_dSquareScale; }
  double SquareXOffset() const { return m_dSquareXOffset; }
  double SquareYOffset() const { return m_dSquareYOffset; }
  // Head positions the refinement measured at, and the root mean square of its fit's residuals
  // (cutter units).
  int RefinementPositions() const { return m_nRefinePositions; }
  // Head moves the refinement made (the return over the square included).
  int RefinementMoves() const { return m_nRefineMoves; }
  double RefinementResidual() const { return m_dRefineResidual; }
  bool MoveFailed() const { return m_bMoveFailed; }
  // A copy of the latest raw frame (640 rows of 480 BGR pixels).
  cv::Mat LatestFrame() const { return m_FrameBuffer.Snapshot(); }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnSetActive() override;

  // Calibration.
  // Cuts the calibration square at the head position with "CalibrationSquarePower".
  void CutCalMark();
  // Measures the square in the latest frame: offset of its centre from the frame centre (dx, dy,
  // pixels, y down) and its mean side (pixels). 0 when found, -1 (outputs untouched) when not.
  // angle is read, not written; the measurement is taken in the frame's own axes whatever it is.
  int LocateCalibrationMark(double* dx, double* dy, double* side, double* angle);
  double CalcLength(cv::Point* a, cv::Point* b);
  // Smooths a grey image in place: a pyramid step down to half its size and back up.
  void RemoveNoise(cv::Mat& image) const;
  // Draws the contour as a closed polygon, 8-connected, thickness 1.
  void HighlightContour(const std::vector<cv::Point>& contour, cv::Mat& image, cv::Scalar colour);
  double CalcAngle(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0);
  double CalcAngle360(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0);

  POINT m_ptHead{0, 0};
  const BITMAPINFOHEADER m_bmiFrame = kx::FrameBuffer::Header();
  // The latest raw camera frame: written on the camera thread, copied out whole for a
  // measurement, so the calibration never reads a frame half overwritten.
  kx::FrameBuffer m_FrameBuffer;
  CString m_strTitle;
  CStatic m_wndLive;
  CSliderCtrl m_sldGain;
  CSliderCtrl m_sldSharp;
  CSliderCtrl m_sldGamma;
  CComboBox m_cbAlcMode;
  CValidatedEdit m_edScale;
  CValidatedEdit m_edXOffset;
  CValidatedEdit m_edYOffset;
  int m_bAutoWhiteBalance = 0;
  int m_bGammaMode = 0;
  int m_nGain = 0;
  int m_nSharp = 0;
  int m_nGamma = 0;
  double m_dScale = 1.0;
  double m_dXOffset = 0.0;
  double m_dYOffset = 0.0;
  int m_nPort = 0;
  POINT m_ptCalStart{0, 0};
  POINT m_ptTarget{0, 0};
  int m_bWaitManualCal = 0;
  std::unique_ptr<JOBDATA> m_pJob;

 private:
  // One measurement and centring on it; true when the camera ended centred on the square.
  bool CenterOnMark(int size, double dx, double dy, double side);
  // Finds the calibration square in frame (grey-level edges, outer contours, the four-sided
  // convex polygon test); fills the polygon's outputs of LocateCalibrationMark and, when contour
  // is given, the outer contour the polygon came from. 0 when found, -1 (outputs untouched) not.
  int FindCalibrationSquare(const cv::Mat& frame, double* dx, double* dy, double* side,
                            std::vector<cv::Point>* contour);
  // The square's centroid (area of its outer contour) relative to the frame centre, pixels, y
  // down, averaged over kRefineFrames fresh frames. False when a frame does not show the square.
  bool MeasureSquareCentroid(double* ex, double* ey);
  // Precision mode, after a calibration that ended centred on the square of size s cut at
  // m_ptCalStart: moves the head over a grid of known positions around where it stands, fits
  // Scale and the head position that centres the square by least squares, and takes the offset
  // from the square's centre as cut. On success Scale and the offsets hold the refined values and
  // the head ends centred; on failure they keep the square's own values. Blocks the page's thread.
  bool RefineCalibration(int s);
  // The calibration's information box.
  void ShowCalibrationMessage(const char* text);
  // Re-enables Calibrate and fills the controls from the members.
  void EndCalibration();
  POINT ReadHead() const;
  void PublishPositions();
  // The slider notification of any of the three sliders.
  void OnReleasedCaptureId(UINT id, NMHDR* pNMHDR, LRESULT* pResult);

  // Set once OnInitDialog has made the live view: frames before that are neither kept nor shown.
  std::atomic<bool> m_bFrameReady{false};
  // The head and target the overlay shows, published for the camera thread.
  std::atomic<long long> m_nShownHead{0};
  std::atomic<long long> m_nShownTarget{0};
  bool m_bCalibrating = false;
  bool m_bCalibrated = false;
  bool m_bMoveFailed = false;
  bool m_bRefined = false;
  double m_dSquareScale = 0.0;
  double m_dSquareXOffset = 0.0;
  double m_dSquareYOffset = 0.0;
  int m_nRefinePositions = 0;
  int m_nRefineMoves = 0;
  double m_dRefineResidual = 0.0;

  DECLARE_MESSAGE_MAP()
};
