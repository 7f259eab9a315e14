// The cut-path trace on the simulated machine: the selected path drawn by the head at a tenth of
// its size around where the head stood, Stop during the trace, and a selection it cannot trace.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "common/Units.h"
#include "host/Database.h"
#include "tests/support/RunHarness.h"

namespace kx::test {
namespace {

class TraceDialog : public CKestrixDialog {
 public:
  using CKestrixDialog::CKestrixDialog;
  using CKestrixDialog::DrawCutPath;
  using CKestrixDialog::m_bRunning;
  using CKestrixDialog::m_pRegImage;
  using CKestrixDialog::OnStop;
};

struct TraceWorld {
  TraceWorld() : scenario(SheetWorld(1, 1, 31), scratch.Path()) {
    scenario.StoreCalibration();
    scenario.Machine().Cutter().sendxyNoW(20000, 18000, kMoveTravel);
    scenario.Clock().Advance(10'000'000);
  }
  void Select(std::initializer_list<uint64> objects) {
    DBDeselectAll();
    for (uint64 h : objects) DBSelect(h);
  }
  void Within(const std::function<void(TraceDialog&)>& body) {
    dialog =
        std::make_unique<TraceDialog>(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
    op.Then(ScriptedOperator::Call([this, body] { body(*dialog); }));
    op.Then(ScriptedOperator::PressButton(IDC_KX_STOP));
    ScopedOperator install(&op);
    dialog->DoModal(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
    EXPECT_FALSE(op.Failed()) << op.FailureText();
    EXPECT_EQ(op.PendingBoxes(), 0u);
  }
  std::vector<cv::Point2d> TargetsFrom(std::size_t from) {
    std::vector<cv::Point2d> out;
    const std::vector<CutterMove> moves = scenario.Machine().Cutter().Moves();
    for (std::size_t i = from; i < moves.size(); ++i) out.push_back(moves[i].to);
    return out;
  }
  // The document's own points of path h, subpath by subpath.
  static std::vector<std::vector<cv::Point2d>> PathPoints(uint64 h) {
    std::vector<std::vector<cv::Point2d>> out;
    const ELEMENT* e = DBGetObjectElement(h);
    const auto* path = static_cast<const POLYARC*>(e->item);
    for (const auto& sp : path->Subpaths()) {
      out.emplace_back();
      for (const POLYPOINT& p : sp) out.back().emplace_back(p.x, p.y);
    }
    return out;
  }

  ScratchFolder scratch;
  Scenario scenario;
  ScriptedOperator op;
  std::unique_ptr<TraceDialog> dialog;
};

TEST(DrawCutPath, TracesThePathAtATenthOfItsSizeAroundTheStartAndReturnsAfterEachSubpath) {
  TraceWorld w;
  const uint64 path = w.scenario.Doc().paths.at(0);
  w.Select({w.scenario.Doc().imageObject, path});
  std::size_t objectsBefore = 0, objectsAfter = 0;
  std::size_t before = 0;
  bool result = false;
  cv::Point2d start;
  w.Within([&](TraceDialog& d) {
    start = w.scenario.Machine().Cutter().Position();
    before = w.scenario.Machine().Cutter().Moves().size();
    objectsBefore = w.scenario.Host().Doc().LiveObjectCount();
    d.m_bRunning = 1;
    result = d.DrawCutPath(d.m_pRegImage.get(), nullptr, cv::Point(0, 0));
    d.m_bRunning = 0;
    objectsAfter = w.scenario.Host().Doc().LiveObjectCount();
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(objectsAfter, objectsBefore) << "temporaries destroyed";
  // The trace's origin is the centre of mark 0's reference area.
  const cv::Point2d centre = w.scenario.MarkCentreDoc(0);
  std::vector<cv::Point2d> expected;
  for (const auto& sp : TraceWorld::PathPoints(path)) {
    for (const cv::Point2d& p : sp) expected.push_back(start + (p - centre) / kDocPerCutter * 0.1);
    expected.push_back(start);
  }
  const std::vector<cv::Point2d> targets = w.TargetsFrom(before);
  // A unit for the truncation of each target, and two camera pixels at a tenth for the even
  // rounding of the reference area that is the trace's origin.
  const double tolerance = 1.0 + 2 * w.scenario.GetWorld().Options().camera.scale * 0.1;
  ASSERT_EQ(targets.size(), expected.size());
  ASSERT_GT(expected.size(), 4u);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(targets[i].x, expected[i].x, tolerance);
    EXPECT_NEAR(targets[i].y, expected[i].y, tolerance);
  }
  EXPECT_EQ(targets.back(), start);
}

TEST(DrawCutPath, StopEndsTheTraceAtTheNextPointAndLeavesTheHeadWhereItWas) {
  TraceWorld w;
  w.Select({w.scenario.Doc().imageObject, w.scenario.Doc().paths.at(0)});
  std::size_t objectsBefore = 0, objectsAfter = 0;
  std::size_t before = 0, atStop = 0;
  bool result = true;
  cv::Point2d start;
  int listener = 0;
  w.Within([&](TraceDialog& d) {
    start = w.scenario.Machine().Cutter().Position();
    before = w.scenario.Machine().Cutter().Moves().size();
    listener = w.scenario.Clock().AddListener([&](std::int64_t, std::int64_t) {
      const std::size_t moves = w.scenario.Machine().Cutter().Moves().size();
      if (atStop == 0 && moves >= before + 3) {
        atStop = moves;
        d.OnStop();
      }
    });
    objectsBefore = w.scenario.Host().Doc().LiveObjectCount();
    d.m_bRunning = 1;
    result = d.DrawCutPath(d.m_pRegImage.get(), nullptr, cv::Point(0, 0));
    objectsAfter = w.scenario.Host().Doc().LiveObjectCount();
  });
  w.scenario.Clock().RemoveListener(listener);
  EXPECT_FALSE(result);
  ASSERT_GT(atStop, 0u);
  EXPECT_EQ(w.scenario.Machine().Cutter().Moves().size(), atStop) << "no move after Stop";
  EXPECT_NE(w.TargetsFrom(before).back(), start) << "not taken back to the start";
  EXPECT_EQ(objectsAfter, objectsBefore) << "temporaries destroyed";
}

TEST(DrawCutPath, TheCloseBoxDuringTheTraceStopsItAndClosesOnceItHasReturned) {
  TraceWorld w;
  w.Select({w.scenario.Doc().imageObject, w.scenario.Doc().paths.at(0)});
  w.dialog = std::make_unique<TraceDialog>(nullptr, w.scenario.Doc().jobList,
                                           w.scenario.Doc().imageObject);
  TraceDialog& d = *w.dialog;
  std::size_t before = 0, atClose = 0;
  bool result = true, openAfterTrace = false;
  const int listener = w.scenario.Clock().AddListener([&](std::int64_t, std::int64_t) {
    const std::size_t moves = w.scenario.Machine().Cutter().Moves().size();
    if (before > 0 && atClose == 0 && moves >= before + 2) {
      atClose = moves;
      PostMessage(d.GetSafeHwnd(), WM_CLOSE, 0, 0);
    }
  });
  w.op.Then(ScriptedOperator::Call([&] {
    before = w.scenario.Machine().Cutter().Moves().size();
    d.m_bRunning = 1;
    result = d.DrawCutPath(d.m_pRegImage.get(), nullptr, cv::Point(0, 0));
    openAfterTrace = d.IsWindowVisible() != FALSE;
  }));
  INT_PTR status = 0;
  {
    ScopedOperator install(&w.op);
    status = d.DoModal(nullptr, w.scenario.Doc().jobList, w.scenario.Doc().imageObject);
  }
  w.scenario.Clock().RemoveListener(listener);
  EXPECT_FALSE(w.op.Failed()) << w.op.FailureText();
  ASSERT_GT(atClose, 0u);
  EXPECT_FALSE(result) << "the close request acted as Stop";
  EXPECT_TRUE(openAfterTrace) << "the window stays until the trace has returned";
  EXPECT_EQ(w.scenario.Machine().Cutter().Moves().size(), atClose) << "no move after the close";
  EXPECT_EQ(status, IDCANCEL);
}

TEST(DrawCutPath, ASelectionWithoutImageAndPathIsRefusedWithAMessageAndNothingMoves) {
  TraceWorld w;
  const uint64 image = w.scenario.Doc().imageObject;
  const uint64 path = w.scenario.Doc().paths.at(0);
  const char kText[] =
      "Select the reference image object first and the path to trace second. Nothing was traced.";
  for (const std::vector<uint64>& selection :
       {std::vector<uint64>{}, {image}, {path, image}, {image, w.scenario.Doc().marks.at(0)}}) {
    SCOPED_TRACE(selection.size());
    DBDeselectAll();
    for (uint64 h : selection) DBSelect(h);
    w.op.ExpectBox(kText, IDOK);
    std::size_t before = 0;
    bool result = true;
    w.Within([&](TraceDialog& d) {
      before = w.scenario.Machine().Cutter().Moves().size();
      d.m_bRunning = 1;
      result = d.DrawCutPath(d.m_pRegImage.get(), nullptr, cv::Point(0, 0));
      d.m_bRunning = 0;
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(w.scenario.Machine().Cutter().Moves().size(), before);
  }
}

}  // namespace
}  // namespace kx::test
