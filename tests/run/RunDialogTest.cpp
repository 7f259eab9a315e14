// The run dialog on the simulated machine: initialisation, copy edits, click steering, camera
// frames and the job's data.
#include <gtest/gtest.h>

#include "platform/Render.h"
#include "tests/run/DialogWorld.h"

namespace kx::test {
namespace {

// How often the driver was told the cut state.
int CutStateWrites(Scenario& scenario) {
  int n = 0;
  for (const auto& v : scenario.Machine().Cutter().DeviceValues()) n += v.code == kDevCodeCutState;
  return n;
}

TEST(RunDialogInit, CopyEditsStartAtOneAndRefuseValuesBelowOne) {
  DialogWorld w;
  OpenDialog* dialog = &w.NewDialog();
  w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
  // Reads the controls as OnStart does and keeps what the copy counts became.
  auto readCounts = [&](double* x, double* y) {
    return ScriptedOperator::Call([dialog, x, y] {
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
  EXPECT_EQ(w.Show(), 0);
  EXPECT_EQ(x0, 1);
  EXPECT_EQ(y0, 1);
  EXPECT_EQ(x1, 1) << "0 copies is refused";
  EXPECT_EQ(y1, 1) << "negative copies are refused";
  EXPECT_EQ(x2, 7);
}

TEST(RunDialogInit, DeviceWorkHappensOnlyOnTheFirstInitialisation) {
  DialogWorld w;
  OpenDialog* dialog = &w.NewDialog();
  EXPECT_EQ(w.Show(), 0);
  EXPECT_EQ(CutStateWrites(w.scenario), 1);
  ASSERT_TRUE(dialog->m_pRegImage);
  const auto* imageBefore = dialog->m_pRegImage.get();
  EXPECT_EQ(w.Show(), 0);  // the window is created and initialised again
  EXPECT_EQ(CutStateWrites(w.scenario), 1);
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

TEST(RunDialogSteering, ClicksMoveByScaleTimesTheKeyFactorWithYUp) {
  DialogWorld w;
  w.Park({3000, 3000});  // moves in every direction stay on the bed
  OpenDialog* dialog = &w.NewDialog();
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
  EXPECT_EQ(w.Show(), 0);
  ASSERT_EQ(moves.size(), std::size(cases));
  for (std::size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(moves[i].first, cases[i].moveX) << "case " << i;
    EXPECT_EQ(moves[i].second, cases[i].moveY) << "case " << i;
  }
}

TEST(RunDialogSteering, ClicksAreIgnoredOutsideTheViewAndDuringARunUnlessPlacingByHand) {
  DialogWorld w;
  w.Park({3000, 3000});  // moves in every direction stay on the bed
  OpenDialog* dialog = &w.NewDialog();
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
  EXPECT_EQ(w.Show(), 0);
  EXPECT_EQ(outside.x, 0);
  EXPECT_EQ(running.x, 0);
  EXPECT_EQ(placing.x, 40);
}

// ---- Camera frames ----

void Deliver(CKestrixDialog* context, std::vector<BYTE>& bytes, DWORD count) {
  CKestrixDialog::BmpFrameCallback(bytes.empty() ? nullptr : bytes.data(), count, 0, 0, 0, 0,
                                   context, nullptr);
}

TEST(RunDialogFrames, KeptAndShownWithTheCrosshairOnlyOnceInitialised) {
  DialogWorld w;
  OpenDialog* dialog = &w.NewDialog();
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

  Deliver(dialog, red, static_cast<DWORD>(red.size()));
  EXPECT_TRUE(all(dialog->m_FrameBuffer.Snapshot(), cv::Vec3b(0, 0, 0)))
      << "a frame before initialisation is not kept";

  cv::Mat kept, shown, afterIgnored, shownAfterIgnored, shortKept;
  w.op.Then(ScriptedOperator::Call([&] {
    Deliver(dialog, red, static_cast<DWORD>(red.size()));
    kept = dialog->m_FrameBuffer.Snapshot();
    shown = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
    // No context, no bytes, no frame: ignored, neither kept nor shown.
    std::vector<BYTE> grey(kFrameBytes, 99);
    std::vector<BYTE> none;
    Deliver(nullptr, grey, static_cast<DWORD>(grey.size()));
    Deliver(dialog, grey, 0);
    Deliver(dialog, none, static_cast<DWORD>(grey.size()));
    afterIgnored = dialog->m_FrameBuffer.Snapshot();
    shownAfterIgnored = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
    // A short frame replaces only the bytes it has: here the first two rows.
    Deliver(dialog, grey, 2 * 1440);
    shortKept = dialog->m_FrameBuffer.Snapshot();
  }));
  EXPECT_EQ(w.Show(), 0);
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
}

TEST(RunDialogFrames, EveryFrameLooksForTheLiveViewAfreshWhenTheWindowComesAndGoes) {
  DialogWorld w;
  OpenDialog* dialog = &w.NewDialog();
  EXPECT_EQ(w.Show(), 0);
  // The dialog object outlives its window: frames are still kept, and drawn nowhere.
  std::vector<BYTE> blue(kFrameBytes);
  for (std::size_t i = 0; i < blue.size(); i += 3) blue[i] = 230;
  Deliver(dialog, blue, static_cast<DWORD>(blue.size()));
  EXPECT_EQ(dialog->m_FrameBuffer.Snapshot().at<cv::Vec3b>(5, 5), cv::Vec3b(230, 0, 0));

  // Shown again: the new live view gets the frames.
  std::vector<BYTE> yellow(kFrameBytes);
  for (std::size_t i = 0; i < yellow.size(); i += 3) yellow[i + 1] = yellow[i + 2] = 210;
  cv::Mat shown;
  w.op.Then(ScriptedOperator::Call([&] {
    Deliver(dialog, yellow, static_cast<DWORD>(yellow.size()));
    shown = RenderWindow(*dialog->GetDlgItem(IDC_KX_LIVE));
  }));
  EXPECT_EQ(w.Show(), 0);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.at<cv::Vec3b>(40, 30), cv::Vec3b(0, 210, 210));
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
  OpenDialog dialog(nullptr, job, 0);
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

TEST(RunDialogJob, AJobWithoutMarksOrImageStillGivesItsCutList) {
  JobDocument doc;
  const uint64 p1 = doc.Path(0), p2 = doc.Path(5);
  OpenDialog noMarks(nullptr, doc.List({p1, p2}), 0);
  noMarks.GetRegMarkData();
  noMarks.GetCutList();
  EXPECT_EQ(noMarks.m_hRegMark[0], 0u);
  EXPECT_EQ(noMarks.m_hRegMark[2], 0u);
  EXPECT_EQ(doc.Members(noMarks.m_CutList).size(), 2u);
  noMarks.SetupRegImage(0);  // no image object: nothing to prepare, nothing breaks
  EXPECT_FALSE(noMarks.m_pRegImage);
}

}  // namespace
}  // namespace kx::test
