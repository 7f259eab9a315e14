// The run dialog on the simulated machine: initialisation, copy edits, Roll/Sheet, click steering,
// head moves, camera frames, job data and the reference image.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "host/Settings.h"
#include "platform/Render.h"
#include "tests/support/RunHarness.h"

namespace kx::test {
namespace {

// The dialog with its protected operations and members open to the tests.
class TestDialog : public CKestrixDialog {
 public:
  using CKestrixDialog::CKestrixDialog;
  using CKestrixDialog::GetCutList;
  using CKestrixDialog::GetRegMarkData;
  using CKestrixDialog::m_bManualLocate;
  using CKestrixDialog::m_bRunning;
  using CKestrixDialog::m_CutList;
  using CKestrixDialog::m_dCopiesX;
  using CKestrixDialog::m_dCopiesY;
  using CKestrixDialog::m_FrameBuffer;
  using CKestrixDialog::m_hRegMark;
  using CKestrixDialog::m_pRegImage;
  using CKestrixDialog::m_rcPreview;
  using CKestrixDialog::SetupRegImage;
};

// One small world for the dialog's own behaviour.
struct DialogWorld {
  DialogWorld() : scenario(SheetWorld(1, 1), scratch.Path()) { scenario.StoreCalibration(); }
  std::unique_ptr<TestDialog> NewDialog() {
    return std::make_unique<TestDialog>(nullptr, scenario.Doc().jobList,
                                        scenario.Doc().imageObject);
  }
  // Runs the dialog modally with the steps queued on op, then closes it with Close.
  INT_PTR Show(TestDialog& dialog) {
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP));
    ScopedOperator install(&op);
    return dialog.DoModal(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  }
  int CutStateWrites() const {
    int n = 0;
    for (const auto& v : const_cast<Scenario&>(scenario).Machine().Cutter().DeviceValues())
      n += v.code == kDevCodeCutState;
    return n;
  }
  ScratchFolder scratch;
  Scenario scenario;
  ScriptedOperator op;
};

TEST(RunDialogInit, RollDirectionDecidesWhichCopyCountIsEditable) {
  DialogWorld w;
  for (int rollDir : {0, 1, 3}) {
    WriteIntDeviceSetup("KestrixRollDir", rollDir);
    auto dialog = w.NewDialog();
    bool xEnabled = false, yEnabled = false, roll = false;
    w.op.Then(ScriptedOperator::Call([&] {
      xEnabled = dialog->GetDlgItem(IDC_KX_COPIES_X)->IsWindowEnabled();
      yEnabled = dialog->GetDlgItem(IDC_KX_COPIES_Y)->IsWindowEnabled();
      roll = dialog->IsDlgButtonChecked(IDC_KX_ROLL) != 0;
    }));
    EXPECT_EQ(w.Show(*dialog), 0);
    EXPECT_TRUE(roll) << "Roll is the default material";
    EXPECT_EQ(xEnabled, rollDir == 0) << "rollDir " << rollDir;
    EXPECT_EQ(yEnabled, rollDir != 0) << "rollDir " << rollDir;
  }
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
}

TEST(RunDialogInit, SheetIsStoredOnCloseAndRestoredNextTime) {
  DialogWorld w;
  auto first = w.NewDialog();
  w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
  EXPECT_EQ(w.Show(*first), 0);
  EXPECT_EQ(GetIntMorvane("Kestrix Dialog", "Roll", 1, 1), 0);

  auto second = w.NewDialog();
  bool sheet = false, xEnabled = false, yEnabled = false;
  w.op.Then(ScriptedOperator::Call([&] {
    sheet = second->IsDlgButtonChecked(IDC_KX_SHEET) != 0;
    xEnabled = second->GetDlgItem(IDC_KX_COPIES_X)->IsWindowEnabled();
    yEnabled = second->GetDlgItem(IDC_KX_COPIES_Y)->IsWindowEnabled();
  }));
  w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_ROLL));
  EXPECT_EQ(w.Show(*second), 0);
  EXPECT_TRUE(sheet);
  EXPECT_TRUE(xEnabled && yEnabled);
  EXPECT_EQ(GetIntMorvane("Kestrix Dialog", "Roll", 0, 1), 1);
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
}

TEST(RunDialogInit, CopyEditsStartAtOneAndRefuseValuesBelowOne) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
  // Reads the controls as OnStart does and keeps what the copy counts became.
  auto readCounts = [&](double* x, double* y) {
    return ScriptedOperator::Call([&dialog, x, y] {
      dialog->UpdateData(TRUE);
      *x = dialog->m_dCopiesX;
      *y = dialog->m_dCopiesY;
    });
  };
  double x0 = -1, y0 = -1, x1 = -1, y1 = -1, x2 = -1, y2 = -1;
  w.op.Then(readCounts(&x0, &y0));
  w.op.Then(ScriptedOperator::SetText(IDC_KX_COPIES_X, "0"));
  w.op.Then(ScriptedOperator::SetText(IDC_KX_COPIES_Y, "-4"));
  w.op.Then(readCounts(&x1, &y1));
  w.op.Then(ScriptedOperator::SetText(IDC_KX_COPIES_X, "7"));
  w.op.Then(readCounts(&x2, &y2));
  EXPECT_EQ(w.Show(*dialog), 0);
  EXPECT_EQ(x0, 1);
  EXPECT_EQ(y0, 1);
  EXPECT_EQ(x1, 1) << "0 copies is refused";
  EXPECT_EQ(y1, 1) << "negative copies are refused";
  EXPECT_EQ(x2, 7);
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
}

TEST(RunDialogInit, DeviceWorkHappensOnlyOnTheFirstInitialisation) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  EXPECT_EQ(w.Show(*dialog), 0);
  EXPECT_EQ(w.CutStateWrites(), 1);
  ASSERT_TRUE(dialog->m_pRegImage);
  const auto* imageBefore = dialog->m_pRegImage.get();
  EXPECT_EQ(w.Show(*dialog), 0);  // the window is created and initialised again
  EXPECT_EQ(w.CutStateWrites(), 1);
  EXPECT_EQ(dialog->m_pRegImage.get(), imageBefore) << "the reference image is not prepared again";
}

// Where a click at offset (dx, dy) screen pixels from the live view's centre lands in the
// dialog's client coordinates.
CPoint ClickPoint(CKestrixDialog& dialog, int dx, int dy) {
  RECT r{};
  dialog.GetDlgItem(IDC_KX_LIVE)->GetWindowRect(&r);
  POINT p{(r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2 + dy};
  dialog.ScreenToClient(&p);
  return CPoint(p.x, p.y);
}

// Parks the head at (3000, 3000) so that moves in every direction stay on the bed.
void ParkHead(Scenario& s) {
  s.Machine().Cutter().sendxyNoW(3000, 3000, kMoveTravel);
  s.Clock().Advance(5'000'000);
}

TEST(RunDialogSteering, ClicksMoveByScaleTimesTheKeyFactorWithYUp) {
  DialogWorld w;
  ParkHead(w.scenario);
  auto dialog = w.NewDialog();
  struct Case {
    int dx, dy;
    UINT flags;
    long moveX, moveY;
  };
  // Scale 1.6, a 192 x 256 view of the 480 x 640 frame: 10 screen pixels are 2.5 * 10 * 1.6 = 40.
  const Case cases[] = {
      {10, 0, 0, 40, 0},        {10, 0, MK_CONTROL, 80, 0}, {10, 0, MK_CONTROL | MK_SHIFT, 160, 0},
      {10, 0, MK_SHIFT, 40, 0}, {0, 10, 0, 0, -40},         {-7, -3, 0, -28, 12}};
  std::vector<std::pair<long, long>> moves;
  w.op.Then(ScriptedOperator::Call([&] {
    for (const Case& c : cases) {
      const POINT before = dialog->HeadPosition();
      dialog->OnLButtonDown(c.flags, ClickPoint(*dialog, c.dx, c.dy));
      const POINT after = dialog->HeadPosition();
      moves.emplace_back(after.x - before.x, after.y - before.y);
    }
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  ASSERT_EQ(moves.size(), std::size(cases));
  for (std::size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(moves[i].first, cases[i].moveX) << "case " << i;
    EXPECT_EQ(moves[i].second, cases[i].moveY) << "case " << i;
  }
}

TEST(RunDialogSteering, ClicksAreIgnoredOutsideTheViewAndDuringARunUnlessPlacingByHand) {
  DialogWorld w;
  ParkHead(w.scenario);
  auto dialog = w.NewDialog();
  POINT outside{}, running{}, placing{};
  w.op.Then(ScriptedOperator::Call([&] {
    const POINT start = dialog->HeadPosition();
    dialog->OnLButtonDown(0, ClickPoint(*dialog, 200, 0));  // right of the view
    outside = POINT{dialog->HeadPosition().x - start.x, dialog->HeadPosition().y - start.y};
    dialog->m_bRunning = 1;
    dialog->OnLButtonDown(0, ClickPoint(*dialog, 10, 0));
    running = POINT{dialog->HeadPosition().x - start.x, dialog->HeadPosition().y - start.y};
    dialog->m_bManualLocate = 1;
    dialog->OnLButtonDown(0, ClickPoint(*dialog, 10, 0));
    placing = POINT{dialog->HeadPosition().x - start.x, dialog->HeadPosition().y - start.y};
    dialog->m_bManualLocate = 0;
    dialog->m_bRunning = 0;
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  EXPECT_EQ(outside.x, 0);
  EXPECT_EQ(running.x, 0);
  EXPECT_EQ(placing.x, 40);
}

TEST(RunDialogMotion, MovesEndOnArrivalOnAStallAndClampAtTheOrigin) {
  DialogWorld w;
  ParkHead(w.scenario);
  auto dialog = w.NewDialog();
  const int bedWidth = w.scenario.GetWorld().Options().cutter.bedWidth;
  cv::Point2d pastTheEdge, stalled;
  POINT clamped{};
  std::int64_t stallTime = 0;
  w.op.Then(ScriptedOperator::Call([&] {
    // A target past the bed edge: the head stops at the edge and the wait ends.
    dialog->MoveTo(bedWidth + 5000, 3000);
    pastTheEdge = w.scenario.Machine().Cutter().Position();
    // A head that stalls on the way: two equal readings end the wait.
    w.scenario.Machine().Cutter().InjectStall({10000, 3000}, 20);
    const std::int64_t t0 = w.scenario.Clock().NowMicros();
    dialog->MoveTo(1000, 3000);
    stallTime = w.scenario.Clock().NowMicros() - t0;
    stalled = w.scenario.Machine().Cutter().Position();
    w.scenario.Machine().Cutter().ClearFaults();
    dialog->MoveToOffset(-500000, 0);  // x clamps at 0, y unchanged
    clamped = dialog->HeadPosition();
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  EXPECT_NEAR(pastTheEdge.x, bedWidth, 1.0);
  EXPECT_FALSE(dialog->IsMoving());
  EXPECT_NEAR(stalled.x, 10000, 30);
  EXPECT_LT(stallTime, 10'000'000) << "the wait ends soon after the head stops";
  EXPECT_EQ(clamped.x, 0);
  EXPECT_NEAR(clamped.y, 3000, 3);
}

// ---- Camera frames ----

void Deliver(CKestrixDialog* context, std::vector<BYTE>& bytes, DWORD count) {
  CKestrixDialog::BmpFrameCallback(bytes.empty() ? nullptr : bytes.data(), count, 0, 0, 0, 0,
                                   context, nullptr);
}

TEST(RunDialogFrames, KeptAndShownWithTheCrosshairOnlyOnceInitialised) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  // A red frame with some bytes more than a frame: only the first 921,600 are taken.
  std::vector<BYTE> red(kFrameBytes + 300);
  for (std::size_t i = 0; i < red.size(); i += 3) {
    red[i] = 10;
    red[i + 1] = 20;
    red[i + 2] = 200;
  }
  const cv::Vec3b redPixel(10, 20, 200);
  const auto all = [](const cv::Mat& frame, cv::Vec3b colour) {
    cv::Mat same;
    cv::inRange(frame, colour, colour, same);
    return cv::countNonZero(same) == frame.rows * frame.cols;
  };

  Deliver(dialog.get(), red, static_cast<DWORD>(red.size()));
  EXPECT_TRUE(all(dialog->m_FrameBuffer.Snapshot(), cv::Vec3b(0, 0, 0)))
      << "a frame before initialisation is not kept";

  cv::Mat kept, shown, afterIgnored, shownAfterIgnored, shortKept;
  w.op.Then(ScriptedOperator::Call([&] {
    Deliver(dialog.get(), red, static_cast<DWORD>(red.size()));
    kept = dialog->m_FrameBuffer.Snapshot();
    shown = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
    // No context, no bytes, no frame: ignored, neither kept nor shown.
    std::vector<BYTE> grey(kFrameBytes, 99);
    std::vector<BYTE> none;
    Deliver(nullptr, grey, static_cast<DWORD>(grey.size()));
    Deliver(dialog.get(), grey, 0);
    Deliver(dialog.get(), none, static_cast<DWORD>(grey.size()));
    afterIgnored = dialog->m_FrameBuffer.Snapshot();
    shownAfterIgnored = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
    // A short frame replaces only the bytes it has: here the first two rows.
    Deliver(dialog.get(), grey, 2 * 1440);
    shortKept = dialog->m_FrameBuffer.Snapshot();
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  EXPECT_TRUE(all(kept, redPixel)) << "the raw frame is kept without the crosshair";
  EXPECT_TRUE(all(afterIgnored, redPixel));
  ASSERT_FALSE(shownAfterIgnored.empty());
  EXPECT_EQ(shownAfterIgnored.at<cv::Vec3b>(40, 30), redPixel) << "ignored frames are not shown";
  EXPECT_TRUE(all(shortKept.rowRange(0, 2), cv::Vec3b(99, 99, 99)));
  EXPECT_TRUE(all(shortKept.rowRange(2, shortKept.rows), redPixel));
  // The 192 x 256 view shows the whole frame: the centre is on the crosshair, the rest is frame.
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.at<cv::Vec3b>(128, 96), cv::Vec3b(0, 255, 0));
  EXPECT_EQ(shown.at<cv::Vec3b>(40, 30), redPixel);
  EXPECT_EQ(shown.at<cv::Vec3b>(220, 160), redPixel);
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
}

TEST(RunDialogFrames, EveryFrameLooksForTheLiveViewAfreshWhenTheWindowComesAndGoes) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  EXPECT_EQ(w.Show(*dialog), 0);
  // The dialog object outlives its window: frames are still kept, and drawn nowhere.
  std::vector<BYTE> blue(kFrameBytes);
  for (std::size_t i = 0; i < blue.size(); i += 3) blue[i] = 230;
  Deliver(dialog.get(), blue, static_cast<DWORD>(blue.size()));
  EXPECT_EQ(dialog->m_FrameBuffer.Snapshot().at<cv::Vec3b>(5, 5), cv::Vec3b(230, 0, 0));

  // Shown again: the new live view gets the frames.
  std::vector<BYTE> yellow(kFrameBytes);
  for (std::size_t i = 0; i < yellow.size(); i += 3) yellow[i + 1] = yellow[i + 2] = 210;
  cv::Mat shown;
  w.op.Then(ScriptedOperator::Call([&] {
    Deliver(dialog.get(), yellow, static_cast<DWORD>(yellow.size()));
    shown = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.at<cv::Vec3b>(40, 30), cv::Vec3b(0, 210, 210));
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
}

// ---- Job data ----

struct JobDocument {
  JobDocument() : host(std::make_unique<EmbeddedHost>(EmbeddedHostOptions{scratch.Path()})) {
    host->Install();
  }
  uint64 Mark(double x) { return host->Doc().AddRegMark(BOUNDS{x, x + 1, 0, 1, 0}); }
  uint64 Path(double x) { return host->Doc().AddPath(RectanglePath(x, 0, x + 2, 2)); }
  ObjList List(std::initializer_list<uint64> handles) {
    ObjList list = DBCreateEmptyList();
    for (uint64 h : handles) DBAddToList(list, h);
    return list;
  }
  std::vector<uint64> Members(const ObjList& list) {
    std::vector<uint64> out;
    for (uint64 h = DBGetFirstMember(list); h; h = DBGetNextMember(list)) out.push_back(h);
    return out;
  }
  ScratchFolder scratch;
  std::unique_ptr<EmbeddedHost> host;
};

TEST(RunDialogJob, FirstThreeMarksInListOrderAndCopiesOfEverythingElse) {
  JobDocument doc;
  const uint64 m[5] = {doc.Mark(0), doc.Mark(10), doc.Mark(20), doc.Mark(30), doc.Mark(40)};
  const uint64 p1 = doc.Path(5), p2 = doc.Path(15);
  const ObjList job = doc.List({p1, m[3], m[0], p2, m[4], m[1], m[2]});
  TestDialog dialog(nullptr, job, 0);
  EXPECT_EQ(dialog.GetRegMarkData(), 1);
  EXPECT_EQ(dialog.m_hRegMark[0], m[3]);
  EXPECT_EQ(dialog.m_hRegMark[1], m[0]);
  EXPECT_EQ(dialog.m_hRegMark[2], m[4]);
  EXPECT_EQ(dialog.GetCutList(), 1);
  const auto copies = doc.Members(dialog.m_CutList);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_NE(copies[0], p1) << "copies, not the job's own objects";
  BOUNDS b{};
  DBGetObjectBounds(copies[1], &b);
  EXPECT_EQ(b.minX, 15);

  // A second cut list replaces the first and destroys its copies.
  dialog.GetCutList();
  BOUNDS gone{};
  EXPECT_EQ(DBGetObjectBounds(copies[0], &gone), 0);
  EXPECT_EQ(doc.Members(dialog.m_CutList).size(), 2u);
}

TEST(RunDialogJob, JobsWithoutMarksOrWithoutObjects) {
  JobDocument doc;
  const uint64 p1 = doc.Path(0), p2 = doc.Path(5);
  TestDialog noMarks(nullptr, doc.List({p1, p2}), 0);
  noMarks.GetRegMarkData();
  noMarks.GetCutList();
  EXPECT_EQ(noMarks.m_hRegMark[0], 0u);
  EXPECT_EQ(noMarks.m_hRegMark[2], 0u);
  EXPECT_EQ(doc.Members(noMarks.m_CutList).size(), 2u);
  noMarks.SetupRegImage(0);  // no image object: nothing to prepare, nothing breaks
  EXPECT_FALSE(noMarks.m_pRegImage);

  TestDialog empty(nullptr, doc.List({}), 0);
  EXPECT_EQ(empty.GetRegMarkData(), 1);
  EXPECT_EQ(empty.GetCutList(), 1);
  ASSERT_TRUE(empty.m_CutList);
  EXPECT_TRUE(doc.Members(empty.m_CutList).empty());
}

// ---- Reference image ----

TEST(RunDialogReference, MarkAreasCutFromTheReferenceShowTheMarksPixels) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  dialog->GetRegMarkData();
  const JobDescription& job = w.scenario.Job();
  for (int mark = 0; mark < 3; ++mark) {
    dialog->SetupRegImage(mark);
    ASSERT_TRUE(dialog->m_pRegImage);
    const cv::Rect roi = dialog->m_pRegImage->Roi();
    EXPECT_EQ(roi.x % 2, 0);
    EXPECT_EQ(roi.width % 2, 0);
    // Where the mark lies in the reference bitmap, which has the camera's scale.
    const cv::Rect2d& m = job.marks[static_cast<std::size_t>(mark)];
    const double pxPerDoc = job.reference.cols / job.referenceWidth;
    const cv::Rect expected(
        static_cast<int>(std::lround((m.x - job.referenceOrigin.x) * pxPerDoc)),
        static_cast<int>(
            std::lround((job.referenceOrigin.y + job.referenceHeight - m.y - m.height) * pxPerDoc)),
        static_cast<int>(std::lround(m.width * pxPerDoc)),
        static_cast<int>(std::lround(m.height * pxPerDoc)));
    EXPECT_NEAR(roi.x, expected.x, 2) << "mark " << mark;
    EXPECT_NEAR(roi.y, expected.y, 2) << "mark " << mark;
    EXPECT_NEAR(roi.width, expected.width, 2) << "mark " << mark;
    EXPECT_NEAR(roi.height, expected.height, 2) << "mark " << mark;
    // Same pixels: the area correlates with the bitmap around the mark's place.
    const cv::Rect around = cv::Rect(roi.x - 8, roi.y - 8, roi.width + 16, roi.height + 16) &
                            cv::Rect(0, 0, job.reference.cols, job.reference.rows);
    cv::Mat score;
    cv::matchTemplate(job.reference(around), dialog->m_pRegImage->RoiMat(), score,
                      cv::TM_CCOEFF_NORMED);
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(score, nullptr, &best, nullptr, &at);
    EXPECT_GT(best, 0.9) << "mark " << mark;
    EXPECT_NEAR(at.x + around.x, expected.x, 3) << "mark " << mark;
    EXPECT_NEAR(at.y + around.y, expected.y, 3) << "mark " << mark;
  }
}

TEST(RunDialogReference, PreviewShowsTheFirstMarkShrunkByAnIntegerFactor) {
  DialogWorld w;
  auto dialog = w.NewDialog();
  RECT client{};
  HBITMAP shown = nullptr;
  cv::Rect roi;
  w.op.Then(ScriptedOperator::Call([&] {
    dialog->GetDlgItem(IDC_KX_PREVIEW)->GetClientRect(&client);
    shown = reinterpret_cast<HBITMAP>(
        dialog->GetDlgItem(IDC_KX_PREVIEW)->SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
    roi = dialog->m_pRegImage->Roi();
    SaveWindowPng(*dialog, (w.scratch / "run-dialog.png").string());
  }));
  EXPECT_EQ(w.Show(*dialog), 0);
  const RECT& first = dialog->m_rcPreview;
  const int f =
      std::max(roi.width / (first.right - first.left), roi.height / (first.bottom - first.top)) + 1;
  EXPECT_EQ(client.right - client.left, roi.width / f);
  EXPECT_EQ(client.bottom - client.top, roi.height / f);
  EXPECT_NE(shown, nullptr);
}

}  // namespace
}  // namespace kx::test
