// The registration-and-cut run: finds each copy's marks with the camera and cuts the copy.
// Threads: bound to one thread (the dialog's), except BmpFrameCallback and UpdateImage, which run
// on the camera thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/BitmapInfo.h"
#include "common/Export.h"
#include "common/FrameBuffer.h"
#include "common/RoiImage.h"
#include "common/TM.h"
#include "common/WinTypes.h"
#include "host/HostServices.h"
#include "host/ResourceIds.h"
#include "host/ValidatedEdit.h"
#include "platform/Dialog.h"
#include "run/Precision.h"
#include "vision/TemplateLocator.h"

class KX_EXPORT CKestrixDialog : public CDialog {
 public:
  // Reads "Scale" and the camera-to-knife offsets; registers for camera frames.
  CKestrixDialog(CWnd* pParent = nullptr, ObjList jobList = {}, uint64 imageObj = 0);
  ~CKestrixDialog() override;
  CKestrixDialog(const CKestrixDialog&) = delete;
  CKestrixDialog& operator=(const CKestrixDialog&) = delete;

  // Runs the dialog modally with the host's cutter, the job and the image-based registration
  // object. Returns 0 after Close, IDOK/IDCANCEL after Enter/Escape, -1 if it cannot be created.
  INT_PTR DoModal(CCutMachine* machine, ObjList jobList, uint64 imageObj);
  using CDialog::DoModal;

  // Keeps the host's event; the dialog neither signals nor closes it.
  void SetEventHandle(HANDLE event) { m_hEvent = event; }

  // Camera frame entry, called on the camera thread; context is the dialog.
  static void BmpFrameCallback(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                               void* context, void*);
  // Shows the text of a camera error code in a warning box.
  void ShowErrorMsg(DWORD code);

  // Handlers.
  void OnStart();
  void OnStop();
  void OnRoll();
  void OnSheet();
  void OnLButtonDown(UINT nFlags, CPoint point);

  // Live view and head motion.
  void UpdateImage(int byteCount, BYTE* frame);
  void MoveTo(long x, long y);
  void MoveToOffset(long dx, long dy);
  void CheckMessages();

  // What an observer of the run may read (the state flags, the head as last read, and the
  // current copy's mark pairs in cutter units).
  bool IsRunning() const { return m_bRunning != 0; }
  bool IsMoving() const { return m_bMoving != 0; }
  bool IsWaitingForPlacement() const { return m_bManualLocate != 0; }
  POINT HeadPosition() const { return m_ptHead; }
  NewWorldPt RefPoint(int i) const { return m_RefPt[i]; }
  NewWorldPt FoundPoint(int i) const { return m_FoundPt[i]; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // Enter, Escape or the close box during a run or a head move: Stop (also ending a wait for
  // placement by hand); the dialog closes once the run has returned.
  void OnStopRequest() override;

  // Job data.
  int GetRegMarkData();
  int GetCutList();
  // Reference image at camera scale with its region on mark `mark`'s area, and the preview.
  void SetupRegImage(int mark);
  // Matches the reference region in three live frames; offsets in cutter units when found.
  bool FindRegMark(kx::RoiImage* reference, long* x, long* y, double* score);
  // The grey-level locator: approaches a weak match by small head moves, estimates the mark's
  // rotation into m_dRotation and the status text, centres the head on the mark and gives the
  // head position (cutter units) in *x, *y. False when not found or when the run is stopped.
  bool FindRegMark2(kx::RoiImage* reference, long* x, long* y);
  // Rotation (radians) of the m_pRotTmpl slot that matches frame's region (grey) strictly better
  // than score; 0 when none does.
  double FindRotationAngle(kx::RoiImage* frame, double score);
  // Fills m_pRotTmpl from the current mark's reference area (m_pRegImage's region): grey, rotated
  // by -5 to +5 degrees in half-degree steps about its centre, the same size. Without a reference
  // image the slots are emptied. The slots stay empty unless this is called.
  void SetupRotTmpl();
  // Smooths image's region (grey) in place by a pyramid step down and up.
  void RemoveNoise(kx::RoiImage* image);
  // Draws the closed contour through points on image's region, thickness 2.
  void HighlightContour(const std::vector<cv::Point>& points, kx::RoiImage* image,
                        cv::Scalar colour);
  // Traces the path selected second, welded into one, with the head at a tenth of its size around
  // where the head stands, the centre of image's region (the reference area of the image object
  // selected first) being the start; back to the start after each subpath. Only image's region is
  // read. Blocks until done; false when Stop ended it (the head stays where it was) or when the
  // selection is not an image object and a path (a message says so and nothing moves).
  bool DrawCutPath(kx::RoiImage* image, kx::RoiImage* second, cv::Point point);
  // Finds, centres and records the current copy's three marks.
  bool LocateObject(long prevX, long prevY, int stepX, int stepY);
  // Cuts the current copy through the transform its marks give.
  void Cut();

  // Geometry over the dialog's tables.
  TM GetTM(NewWorldPt src, NewWorldPt dst);
  TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt dst0, NewWorldPt dst1);
  TM GetTM(NewWorldPt src0, NewWorldPt src1, NewWorldPt src2, NewWorldPt dst0, NewWorldPt dst1,
           NewWorldPt dst2);
  bool GetRealPoint(int count, NewWorldPt ref, NewWorldPt* out);
  bool CalcPointTM(TM tm, long* x, long* y);
  double CalcAngle(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0);
  double CalcAngle360(cv::Point* pt1, cv::Point* pt2, cv::Point* pt0);
  double CalcAngle2Pt(double x1, double y1, double x2, double y2);
  double CalcAngle2Pt(cv::Point p1, cv::Point p2);
  int CalcTwoCalPoint(double x, double y, double* outX, double* outY);
  int CalcPoint(double x, double y, double* outX, double* outY);

  // Removes and dispatches one pending message of this window; false when there was none.
  bool PumpOne();
  POINT ReadHead() const;
  // The head position to move from: one reading, or while readings may carry noise the mean of
  // enough back-to-back readings to bring it within about a unit, so that a noisy reading does
  // not throw a centring move or a found mark's position off.
  POINT ReadHeadSettled() const;
  // How far a settled reading may still be off the truth (one spread of the mean), cutter units;
  // 0 while readings carry no noise.
  double SettledUncertainty() const;
  // Notes whether a camera frame has arrived since the last look (m_nFrameSeq, m_dwFrameSeen).
  void NoteFrames();
  // Compares head readings taken back to back and keeps the largest noise seen.
  void MeasureReadingNoise();
  // The noise a head reading may carry: the setting, or the noise seen if that is larger.
  int PositionTolerance() const;

  CStatic m_wndLive;
  CStatic m_wndPreview;
  double m_dCopiesX = 0;
  double m_dCopiesY = 0;
  float m_fStepX = 0;
  float m_fStepY = 0;
  CString m_strStatus;
  int m_bRunning = 0;
  int m_nDir = 1;
  double m_dScale = 1.0;
  int m_bDeviceReady = 0;
  int m_bManualLocate = 0;
  int m_bMoving = 0;
  int m_nPort = 0;
  POINT m_ptHead{0, 0};
  // The latest raw camera frame (written on the camera thread, read by the mark search) and the
  // header that describes it and the live view's crosshair copy.
  kx::FrameBuffer m_FrameBuffer;
  const BITMAPINFOHEADER m_bmiFrame = kx::FrameBuffer::Header();
  uint64 m_hImageObj = 0;
  ObjList m_JobList;
  CCutMachine* m_pCutMachine = nullptr;
  CValidatedEdit m_edCopiesY;
  CValidatedEdit m_edCopiesX;
  double m_dXOffset = 0.0;
  double m_dYOffset = 0.0;
  // The reference's pixels as the host handed them out (its malloc'd copy), kept as they are:
  // m_pRegImage only views them, so it is declared after them and goes first.
  struct FreeBits {
    void operator()(BYTE* bits) const { std::free(bits); }
  };
  std::unique_ptr<BYTE, FreeBits> m_pRegBits;
  std::unique_ptr<kx::RoiImage> m_pRegImage;
  ObjList m_CutList;
  uint64 m_hRegMark[3] = {0, 0, 0};
  NewWorldPt m_FoundPt[3];
  NewWorldPt m_RefPt[3];
  RECT m_rcPreview{0, 0, 0, 0};
  TM m_tmStepX = TM::Identity();
  TM m_tmStepY = TM::Identity();
  HANDLE m_hEvent = nullptr;
  cv::Point m_ptCalSrc[3];
  cv::Point m_ptCalDst[3];
  // The reference area rotated by -5 + 0.5 k degrees in slot k (grey); empty slots are skipped.
  std::array<std::unique_ptr<kx::RoiImage>, 21> m_pRotTmpl;
  double m_dRotation = 0.0;  // the last rotation FindRegMark2 found, radians
  // The refinements of this run ("KestrixPrecision", read at Start), and where the head stood,
  // read after the frames, when FindRegMark last looked.
  kx::PrecisionParts m_Precision;
  POINT m_ptLook{0, 0};
  // The offset FindRegMark last found, cutter units; to a fraction of a unit with sub-pixel peaks.
  cv::Point2d m_ptSeen{0.0, 0.0};
  // The frames FindRegMark last matched in, and for each mark of the copy being located its
  // frames, reference area and where the head stood, kept to match it again as the print lies.
  cv::Mat m_LastFrames[kx::kMatchFrames];
  struct MarkLook {
    cv::Mat frames[kx::kMatchFrames];
    cv::Mat templ;
    POINT head{0, 0};
  };
  std::array<MarkLook, 3> m_MarkLooks;
  // Cutter units a pixel of the resampled reference bitmap truly spans, along x and y.
  cv::Point2d m_ptRefUnitsPerPixel{1.0, 1.0};

  // Limits of the waits on the machine (device settings "KestrixPositionTolerance",
  // "KestrixHeadTimeout", "KestrixFrameTimeout"): the noise a head reading may carry (cutter
  // units), and how long a wait on the head or on a camera frame lasts before the run gives up
  // (seconds).
  int m_nPosTolerance = 0;
  int m_nNoiseSeen = 0;  // half the widest spread of back-to-back readings so far
  int m_nHeadTimeout = 600;
  int m_nFrameTimeout = 30;

 private:
  // Set once OnInitDialog has readied the frame buffer and the live view: frames before that are
  // neither stored nor shown.
  std::atomic<bool> m_bFrameReady{false};

  // The search of LocateObject for mark `mark` (reference position ref): from where the head
  // stands for the first mark, from its prediction for the later ones. Centres on the mark when
  // found, else steps around; leaves the last offset in (x, y) and reports whether the mark was
  // found; *gaveUp tells the retry limit was reached.
  bool SearchMark(int mark, NewWorldPt ref, int maxErr, int stepX, int stepY, long* x, long* y,
                  bool* gaveUp);
  // Where the next copy's first mark is expected after a step of `nominal` cutter units on the
  // printed sheet: through the transform the current copy's marks gave.
  NewWorldPt PredictNextCopy(NewWorldPt nominal);
  // Matches the copy's three marks again in the frames they were found in, each reference area
  // mapped as the marks' transform says the print lies, and records them where that match puts
  // them.
  void RematchAsPrinted();
  // The failure dialogue; true when the user placed the camera and the search starts again.
  bool AskForManualPlacement();
  // Reads the limits of the waits on the machine from the device settings.
  void ReadWaitLimits();
  // Waits for the head to rest after a cut: two readings 100 ms apart that agree. False (and
  // the run ended with a message) when it did not rest within the head timeout.
  bool WaitForRest();
  // Before a failed search asks the user: true when the machine is the cause (the camera has
  // delivered no frame for the frame timeout, the head did not move on the last two or more
  // moves although its last move before them arrived, or even a settled reading may be off by
  // more than maxErr, the offset a centred mark may have); the run has then ended with a message
  // saying so.
  bool SearchFailedOnMachine(int maxErr);
  // Shows text (with %d replaced by number) and ends the run where the head stands; the first
  // such fault of a run is the one shown.
  void EndRunOnFault(const char* text, int number = 0);

  // Set when a machine fault ended the run (cleared at Start).
  int m_bFault = 0;
  // What the moves did: how many in a row were sent away beyond the arrival window without the
  // head moving at all, and whether the last move that moved the head arrived (a head that
  // stopped short has stalled; one that stops moving after arriving does not move).
  int m_nStillMoves = 0;
  bool m_bLastMoveArrived = true;
  // The camera as the run last saw it: the frame buffer's sequence, when it last changed (clock
  // milliseconds), and whether the last search's captures got no new frame.
  std::uint64_t m_nFrameSeq = 0;
  DWORD m_dwFrameSeen = 0;
  bool m_bFramesStale = false;

  DECLARE_MESSAGE_MAP()
};
