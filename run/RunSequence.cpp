// The registration run: the serpentine over the copies, the mark search and cutting.
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/Units.h"
#include "geometry/Registration.h"
#include "host/CutterDriver.h"
#include "platform/Clock.h"
#include "run/KestrixDialog.h"
#include "run/MachineFault.h"
#include "vision/MarkSearch.h"
#include "vision/ReferenceArea.h"
#include "vision/TemplateLocator.h"

namespace {

const char kDialogSection[] = "Kestrix Dialog";
const char kUnableToLocate[] =
    "(*v*)Unable to locate image. Select 'OK' to manually locate or 'Cancel' to cancel the job.";
const char kLocateByHand[] = "(*v*)Please locate first registration area and click on Start.";
const char kSearchCaption[] = "(*v*)Kestrix error";
const char kNoCutter[] =
    "(*v*)This window has no cutter to cut with. The copy was registered but not cut; the run "
    "stops.";
const char kTooFewMarks[] =
    "(*v*)This job has %d registration marks; a run needs three. The run ends.";
const char kNoReference[] =
    "(*v*)This job has no reference image to find its marks in. The run ends.";
const char kCutRefused[] =
    "(*v*)The cutter did not take the copy. The copy was registered but not cut; the run stops.";

// A copy whose marks give a transform further from the document than this is not cut.
constexpr double kPlausibleScale = 0.02;
constexpr double kPlausibleShearDegrees = 1.0;

}  // namespace

// ---- Start and Stop ----

void CKestrixDialog::OnStart() {
  UpdateData(TRUE);
  if (m_bRunning == 1 && m_bManualLocate == 0) {
    OnStop();
    return;
  }
  m_bManualLocate = 0;
  if (m_bRunning == 1) return;  // the waiting search resumes where the head now stands

  // The dialog cannot be closed behind the run's back: a close request stops the run first.
  CBusyScope busy(*this);
  m_bRunning = 1;
  m_bFault = 0;
  ReadWaitLimits();
  m_nFrameSeq = m_FrameBuffer.Sequence();
  m_dwFrameSeen = GetTickCount();
  GetDlgItem(IDC_KX_START)->EnableWindow(FALSE);
  GetDlgItem(IDC_KX_STOP)->SetWindowText("(*v*)Stop");
  UpdateData(TRUE);

  long nx = kx::Trunc(m_dCopiesX);
  long ny = kx::Trunc(m_dCopiesY);
  if (IsDlgButtonChecked(IDC_KX_ROLL)) {
    if (GetIntDeviceSetup("KestrixRollDir", 0) == 1)
      nx = -1;
    else
      ny = -1;
  }

  int marks = 0;
  for (uint64 h : m_hRegMark) marks += h != 0;
  if (marks < 3) {
    // Never a search with a guessed area: the run ends here, naming what the job lacks.
    const std::string text = kx::WithNumber(kTooFewMarks, marks);
    TMessageBox(this, text.c_str(), kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
  } else if (!m_pRegImage) {
    TMessageBox(this, kNoReference, kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
  } else {
    m_Precision = kx::PrecisionFromSetting(GetIntDeviceSetup("KestrixPrecision", 0));
    m_nDir = 1;
    m_FoundPt[0] = NewWorldPt{0, 0};
    m_tmStepX = TM::Translation(static_cast<double>(m_fStepX * 1000.0f), 0);
    m_tmStepY = TM::Translation(0, static_cast<double>(m_fStepY * 1000.0f));

    // Rows run along the inner axis; the outer axis steps between rows and may be unlimited.
    TM* inner = nullptr;
    TM* outer = nullptr;
    int innerX = 0, innerY = 0, outerX = 0, outerY = 0;
    long N = 0, M = 0;
    bool yRows = false;
    if (ny >= 1 && (nx >= 1 || nx == -1)) {
      yRows = true;
      inner = &m_tmStepY, innerY = 1, N = ny;
      outer = &m_tmStepX, outerX = 1, M = nx;
    } else if (nx >= 1 && ny == -1) {
      inner = &m_tmStepX, innerX = 1, N = nx;
      outer = &m_tmStepY, outerY = 1, M = -1;
    }

    if (inner) {
      bool first = true;
      bool found = true;
      long r = 0;
      long c = 0;
      // nominal: the same step as the sheet was laid out, along its own axes.
      auto moveNear = [this](const TM& step, NewWorldPt nominal) {
        if (m_Precision.predictCopy) {
          const NewWorldPt p = PredictNextCopy(nominal);
          MoveToOffset(std::lround(p.x) - m_ptHead.x, std::lround(p.y) - m_ptHead.y);
          return;
        }
        const long x0 = kx::Trunc(m_FoundPt[0].x);
        const long y0 = kx::Trunc(m_FoundPt[0].y);
        const long tx = kx::Trunc(x0 + step.dx);
        const long ty = kx::Trunc(y0 + step.dy);
        MoveToOffset(tx - m_ptHead.x, ty - m_ptHead.y);
      };
      const double pitchX = static_cast<double>(m_fStepX * 1000.0f);
      const double pitchY = static_cast<double>(m_fStepY * 1000.0f);
      const NewWorldPt innerPitch{innerX * pitchX, innerY * pitchY};
      const NewWorldPt outerPitch{outerX * pitchX, outerY * pitchY};
      for (;;) {
        if ((r >= M && M != -1) || m_bRunning == 0 || !found) break;
        while (c < N) {
          if (c < 0 || m_bRunning == 0) break;
          PumpOne();
          if (m_bRunning == 0) break;
          if (!first) {
            inner->dx *= m_nDir;
            inner->dy *= m_nDir;
            moveNear(*inner, NewWorldPt{innerPitch.x * m_nDir, innerPitch.y * m_nDir});
          }
          found =
              LocateObject(kx::Trunc(m_FoundPt[0].x), kx::Trunc(m_FoundPt[0].y), innerX, innerY);
          if (!found) break;
          first = false;
          Cut();
          c = c + m_nDir;
        }
        if (!found) break;
        if (M > 0) r = r + 1;
        if (r < M || M == -1) {
          if (m_bRunning == 0) break;
          if (yRows)
            outer->dy *= m_nDir;
          else
            outer->dx *= m_nDir;
          moveNear(*outer, outerPitch);
          found =
              LocateObject(kx::Trunc(m_FoundPt[0].x), kx::Trunc(m_FoundPt[0].y), outerX, outerY);
          if (found) {
            Cut();
            m_nDir = -m_nDir;
            c = c + 2 * m_nDir;
          }
        }
      }
    }
  }

  // End of the run: back to the origin unless the user stopped it.
  if (m_bRunning == 1) {
    MoveToOffset(-m_ptHead.x, -m_ptHead.y);
    OnStop();
  }
}

void CKestrixDialog::OnStop() {
  if (m_bManualLocate == 1) return;
  m_bMoving = 0;
  if (m_bRunning == 1) {
    m_bRunning = 0;
    GetDlgItem(IDC_KX_START)->EnableWindow(TRUE);
    GetDlgItem(IDC_KX_STOP)->SetWindowText("(*v*)Close");
    return;
  }
  EndDialog(0);
  WriteIntMorvane(kDialogSection, "Roll", IsDlgButtonChecked(IDC_KX_ROLL) ? 1 : 0, 1);
}

void CKestrixDialog::OnStopRequest() {
  if (m_bManualLocate == 1) {
    // The wait for placement by hand ends, and with it the run.
    m_bManualLocate = 0;
    m_bRunning = 0;
  }
  m_bMoving = 0;
  if (m_bRunning == 1) OnStop();
}

void CKestrixDialog::OnRoll() {
  UpdateData(TRUE);
  const int rollDir = GetIntDeviceSetup("KestrixRollDir", 0);
  m_edCopiesX.EnableWindow(rollDir == 0);
  m_edCopiesY.EnableWindow(rollDir != 0);
}

void CKestrixDialog::OnSheet() {
  UpdateData(TRUE);
  m_edCopiesX.EnableWindow(TRUE);
  m_edCopiesY.EnableWindow(TRUE);
}

// ---- Mark search ----

bool CKestrixDialog::FindRegMark(kx::RoiImage* reference, long* x, long* y, double* score) {
  const cv::Mat templ = reference->RoiMat().clone();
  cv::Mat frames[kx::kMatchFrames];
  const std::uint64_t before = m_FrameBuffer.Sequence();
  for (cv::Mat& frame : frames) {
    // Looking where the head truly stands: each frame after the pause, when a move that has just
    // come within reach of its target has ended, in the same time.
    if (!m_Precision.truePosition) frame = m_FrameBuffer.Snapshot();
    Sleep(kx::kMatchFrameIntervalMs);
    if (m_Precision.truePosition) frame = m_FrameBuffer.Snapshot();
  }
  m_ptLook = ReadHeadSettled();
  // Whether the camera still delivers: a failed search asks only once frames come in.
  m_bFramesStale = m_FrameBuffer.Sequence() == before;
  NoteFrames();
  BOUNDS bounds{};
  DBGetMemberBounds(m_JobList, &bounds);
  const kx::MarkMatch m = kx::MatchMark(frames, templ, kx::SearchWindow(bounds, m_dScale), m_dScale,
                                        m_Precision.subPixel);
  if (m_Precision.referenceScale)
    for (int k = 0; k < kx::kMatchFrames; ++k) m_LastFrames[k] = frames[k];
  *score = m.score;
  if (m.found) {
    *x = m.x;
    *y = m.y;
    m_ptSeen = m_Precision.subPixel ? m.offset : cv::Point2d(static_cast<double>(m.x), m.y);
  }
  return m.found;
}

bool CKestrixDialog::SearchMark(int mark, NewWorldPt ref, int maxErr, int stepX, int stepY, long* x,
                                long* y, bool* gaveUp) {
  const cv::Size area = m_pRegImage->Roi().size();
  if (mark > 0) {
    NewWorldPt predicted;
    GetRealPoint(mark, ref, &predicted);
    MoveToOffset(kx::Trunc(predicted.x - m_ptHead.x), kx::Trunc(predicted.y - m_ptHead.y));
  }
  const kx::MarkSearchLimit& limit = mark == 0 ? kx::kFirstMarkLimit : kx::kLaterMarkLimit;
  double score = 0.0;
  bool found = FindRegMark(m_pRegImage.get(), x, y, &score);
  int count = 0;
  int centrings = 0;
  for (;;) {
    if (found && kx::MarkCentred(*x, *y, maxErr)) break;
    if (kx::SearchGivesUp(limit, count) || (found && centrings >= kx::kCentringLimit)) {
      *gaveUp = true;
      break;
    }
    PumpOne();
    if (m_bRunning == 0) break;
    const bool stepped = !found;
    if (found) {
      MoveToOffset(*x, *y);  // centring on a found mark
      centrings += 1;
    } else {
      const kx::HeadStep step = mark == 0 ? kx::FirstMarkStep(area, m_dScale, m_nDir, stepX, stepY)
                                          : kx::LaterMarkStep(count, area, m_dScale, m_nDir);
      MoveToOffset(step.dx, step.dy);
    }
    found = FindRegMark(m_pRegImage.get(), x, y, &score);
    count = kx::NextSearchCount(limit, count, stepped, found);
  }
  return found;
}

bool CKestrixDialog::AskForManualPlacement() {
  const int answer =
      TMessageBox(nullptr, kUnableToLocate, kSearchCaption, MB_OKCANCEL | MB_ICONEXCLAMATION);
  if (answer != IDOK) return false;
  m_bManualLocate = 1;
  TMessageBox(nullptr, kLocateByHand, kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
  SetupRegImage(0);
  GetDlgItem(IDC_KX_START)->EnableWindow(TRUE);
  GetDlgItem(IDC_KX_STOP)->EnableWindow(FALSE);
  UpdateData(TRUE);
  // The user steers by clicking in the live view and presses Start, which clears the flag.
  while (m_bManualLocate == 1 && GetSafeHwnd()) {
    if (!PumpOne()) kx::WaitIdle();
  }
  m_bManualLocate = 0;
  // Resumed: the run goes on; stopped: the dialog is back to idle.
  GetDlgItem(IDC_KX_START)->EnableWindow(m_bRunning == 0);
  GetDlgItem(IDC_KX_STOP)->EnableWindow(TRUE);
  if (m_bRunning == 0) GetDlgItem(IDC_KX_STOP)->SetWindowText("(*v*)Close");
  UpdateData(TRUE);
  return m_bRunning != 0;
}

bool CKestrixDialog::LocateObject(long prevX, long prevY, int stepX, int stepY) {
  const int maxErr = GetIntDeviceSetup("KestrixMaxError", 6);
  for (;;) {
    for (int i = 0; i < 3; ++i) m_RefPt[i] = m_FoundPt[i] = NewWorldPt{0, 0};
    bool found = false;
    for (int i = 0; i < 3 && m_bRunning != 0; ++i) {
      // A missing mark has no area to search for (Start refuses such a job already).
      if (m_hRegMark[i] == 0) return false;
      SetupRegImage(i);
      if (!m_pRegImage) return false;
      const cv::Point2d centre =
          m_Precision.referenceScale
              ? kx::ReferenceCentre(m_pRegImage->Roi(), m_pRegImage->Height(), m_ptRefUnitsPerPixel)
              : kx::ReferenceCentre(m_pRegImage->Roi(), m_pRegImage->Height(), m_dScale);
      const NewWorldPt ref{centre.x, centre.y};
      long x = 0, y = 0;
      bool gaveUp = false;
      found = SearchMark(i, ref, maxErr, stepX, stepY, &x, &y, &gaveUp) && !gaveUp;
      if (found && SettledUncertainty() > maxErr) {
        // Centred by luck: where the head stands is not known well enough to register on.
        EndRunOnFault(kx::kHeadReadingsNoisy, PositionTolerance());
        found = false;
      }
      if (!found) break;
      const POINT look = m_ptLook;
      MoveToOffset(x, y);
      const double headX = m_ptHead.x;
      const double headY = m_ptHead.y;
      if (i == 0 && prevX != 0 && prevY != 0) {
        TM& step = (stepX == 1 && stepY == 0) ? m_tmStepX : m_tmStepY;
        step.dx = std::fabs(prevX - headX);
        step.dy = std::fabs(prevY - headY);
      }
      m_RefPt[i] = ref;
      if (m_Precision.referenceScale) {
        MarkLook& seen = m_MarkLooks[static_cast<std::size_t>(i)];
        for (int k = 0; k < kx::kMatchFrames; ++k) seen.frames[k] = m_LastFrames[k];
        seen.templ = m_pRegImage->RoiMat().clone();
        seen.head = look;
      }
      // The described record adds the offset to the head after the centring move as well; the
      // mark truly lies at the offset from where the head stood when the search saw it.
      // Sub-pixel searches keep the offset's fraction of a unit here; the moves take whole units.
      if (m_Precision.truePosition)
        m_FoundPt[i] = NewWorldPt{look.x + m_ptSeen.x, look.y + m_ptSeen.y};
      else
        m_FoundPt[i] = NewWorldPt{headX + m_ptSeen.x, headY + m_ptSeen.y};
    }
    if (found && m_bRunning != 0 && m_Precision.referenceScale && m_Precision.truePosition &&
        m_Precision.subPixel)
      RematchAsPrinted();
    // Marks that give no plausible print of the document are not this copy's: never cut them.
    // (A run stopped after some of the marks has nothing to check.)
    if (found && m_bRunning != 0 && m_Precision.sanityCheck &&
        !kx::TransformPlausible(
            GetTM(m_RefPt[0], m_RefPt[1], m_RefPt[2], m_FoundPt[0], m_FoundPt[1], m_FoundPt[2]),
            kPlausibleScale, kPlausibleShearDegrees))
      found = false;
    // All three found, or stopped right after a found one: done. A failed search, or a Stop
    // before this copy's first search (while the head travelled to it), asks the user.
    // Closing the dialog asks nothing more.
    if (found || IsClosePending()) {
      SetupRegImage(0);
      return found && m_bRunning != 0;
    }
    // A search that failed because the machine did: the user is told that instead.
    if (m_bFault == 1 || (m_bRunning == 1 && SearchFailedOnMachine(maxErr))) {
      SetupRegImage(0);
      return false;
    }
    if (!AskForManualPlacement()) {
      SetupRegImage(0);
      return false;
    }
  }
}

void CKestrixDialog::RematchAsPrinted() {
  // A reference area matched against a print turned, scaled or sheared against it is pulled
  // toward the middle of its contrast, by that distortion times the middle's distance from the
  // reference point. The marks' transform says how the print lies; in frame pixels (y down):
  const TM tm = GetTM(m_RefPt[0], m_RefPt[1], m_RefPt[2], m_FoundPt[0], m_FoundPt[1], m_FoundPt[2]);
  const cv::Matx22d linear(tm.m11, -tm.m21, -tm.m12, tm.m22);
  BOUNDS bounds{};
  DBGetMemberBounds(m_JobList, &bounds);
  const cv::Rect window = kx::SearchWindow(bounds, m_dScale);
  for (int i = 0; i < 3; ++i) {
    const MarkLook& seen = m_MarkLooks[static_cast<std::size_t>(i)];
    if (seen.templ.empty() || seen.frames[0].empty()) continue;
    const kx::MarkMatch m =
        kx::MatchMark(seen.frames, kx::WarpedTemplate(seen.templ, linear), window, m_dScale, true);
    if (m.found) m_FoundPt[i] = NewWorldPt{seen.head.x + m.offset.x, seen.head.y + m.offset.y};
  }
}

NewWorldPt CKestrixDialog::PredictNextCopy(NewWorldPt nominal) {
  const TM tm = GetTM(m_RefPt[0], m_RefPt[1], m_RefPt[2], m_FoundPt[0], m_FoundPt[1], m_FoundPt[2]);
  return NewWorldPt{m_FoundPt[0].x + tm.m11 * nominal.x + tm.m21 * nominal.y,
                    m_FoundPt[0].y + tm.m12 * nominal.x + tm.m22 * nominal.y};
}

// ---- Cutting ----

void CKestrixDialog::Cut() {
  ObjList copies = DBCreateEmptyList();
  for (uint64 h = DBGetFirstMember(m_JobList); h != 0; h = DBGetNextMember(m_JobList)) {
    if (ObjFilter_IsRegMark(h, 0) == 0) DBAddToList(copies, DBCopyObject(h));
  }
  BOUNDS B{};
  DBGetObjectBounds(m_hImageObj, &B);
  const double k = kx::kDocPerCutter;
  NewWorldPt s[3];
  NewWorldPt d[3];
  // The cutter takes each knife point's whole units toward zero; with sub-unit positions the
  // path is moved half a unit up and right first, so that the knife goes to the nearest unit (its
  // positions on the bed are never negative).
  const double half = m_Precision.subPixel ? 0.5 : 0.0;
  for (int i = 0; i < 3; ++i) {
    s[i] = NewWorldPt{m_RefPt[i].x * k + B.minX, m_RefPt[i].y * k + B.minY};
    d[i] = NewWorldPt{(m_dXOffset + m_FoundPt[i].x + half) * k,
                      (m_dYOffset + m_FoundPt[i].y + half) * k};
  }
  const TM tm = GetTM(s[0], s[1], s[2], d[0], d[1], d[2]);
  // A window started without a cutter cuts through the host's own, if the host has one.
  CCutMachine* machine = m_pCutMachine ? m_pCutMachine : kx::HostCutMachine();
  if (!machine) {
    DBDestroyList(copies);
    TMessageBox(this, kNoCutter, kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
    OnStop();
    return;
  }
  {
    CTranslate translate(tm);
    for (uint64 h = DBGetFirstMember(copies); h != 0; h = DBGetNextMember(copies)) {
      DBApplyTM(h, &tm);
      DBInvalidateBounds(h);
      DBValidateBounds(h);
    }
    std::int32_t cutState = 0;
    DEV_SendInfo(kDevCodeCutState, &cutState);
    const bool cut = machine->CallSection(copies, nullptr);

    const POINT position = ReadHead();
    MoveTo(position.x + 2, position.y + 2);
    WaitForRest();
    cutState = 2;
    DEV_SendInfo(kDevCodeCutState, &cutState);
    m_ptHead = ReadHeadSettled();
    DBDestroyList(copies);
    if (!cut && m_bFault == 0) {
      TMessageBox(this, kCutRefused, kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
      OnStop();
    }
  }
}

bool CKestrixDialog::WaitForRest() {
  if (m_bFault == 1) return false;
  // Two readings 100 ms apart that agree (within twice the noise a reading may carry).
  const long agree = 2L * PositionTolerance();
  const DWORD began = GetTickCount();
  POINT position = ReadHead();
  POINT previous{-1, -1};
  for (;;) {
    if (position.x == previous.x && position.y == previous.y) return true;
    if (previous.x != -1 && std::labs(position.x - previous.x) <= agree &&
        std::labs(position.y - previous.y) <= agree)
      return true;
    if (GetTickCount() - began >= static_cast<DWORD>(m_nHeadTimeout) * 1000u) {
      EndRunOnFault(kx::kHeadNotResting, m_nHeadTimeout);
      return false;
    }
    Sleep(100);
    previous = position;
    position = ReadHead();
    NoteFrames();
    PumpOne();
  }
}

// ---- Faults of the machine ----

bool CKestrixDialog::SearchFailedOnMachine(int maxErr) {
  if (m_bFramesStale) {
    // The last look got no new frame: wait for one, up to the frame timeout since the last.
    while (m_FrameBuffer.Sequence() == m_nFrameSeq) {
      if (GetTickCount() - m_dwFrameSeen >= static_cast<DWORD>(m_nFrameTimeout) * 1000u) {
        EndRunOnFault(kx::kNoCameraFrames, m_nFrameTimeout);
        return true;
      }
      if (m_bRunning == 0) return false;
      Sleep(100);
      PumpOne();
    }
  }
  if (m_nStillMoves >= 2 && m_bLastMoveArrived) {
    EndRunOnFault(kx::kHeadNotMoving);
    return true;
  }
  if (SettledUncertainty() > maxErr) {
    EndRunOnFault(kx::kHeadReadingsNoisy, PositionTolerance());
    return true;
  }
  return false;
}

void CKestrixDialog::EndRunOnFault(const char* text, int number) {
  if (m_bFault == 1) return;
  if (m_bRunning == 1) m_bFault = 1;
  const std::string message = kx::WithNumber(text, number);
  TMessageBox(this, message.c_str(), kSearchCaption, MB_OK | MB_ICONEXCLAMATION);
  if (m_bRunning == 0) return;
  if (m_bManualLocate == 1) {
    // The wait for placement by hand ends, and the run with it.
    m_bManualLocate = 0;
    m_bRunning = 0;
    return;
  }
  OnStop();
}
