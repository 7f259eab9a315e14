// The cut-path trace on the simulated machine: Stop and the close box during the trace, and a
// selection it cannot trace.
#include <gtest/gtest.h>

#include <functional>

#include "host/Database.h"
#include "tests/run/DialogWorld.h"

namespace kx::test {
namespace {

// The head stands at (20000, 18000); the selection is the image object and the first cut path.
struct TraceWorld : DialogWorld {
  TraceWorld() : DialogWorld(SheetWorld(1, 1, 31)) {
    Park({20000, 18000});
    DBDeselectAll();
    DBSelect(scenario.Doc().imageObject);
    DBSelect(scenario.Doc().paths.at(0));
  }
};

TEST(DrawCutPath, StopEndsTheTraceAtTheNextPointAndLeavesTheHeadWhereItWas) {
  TraceWorld w;
  std::size_t objectsBefore = 0, objectsAfter = 0;
  std::size_t before = 0, atStop = 0;
  bool result = true;
  cv::Point2d start;
  int listener = 0;
  w.Within([&](OpenDialog& d) {
    start = w.scenario.Machine().Cutter().Position();
    before = w.MoveCount();
    listener = w.scenario.Clock().AddListener([&](std::int64_t, std::int64_t) {
      const std::size_t moves = w.MoveCount();
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
  EXPECT_EQ(w.MoveCount(), atStop) << "no move after Stop";
  EXPECT_NE(w.scenario.Machine().Cutter().Moves().back().to, start)
      << "not taken back to the start";
  EXPECT_EQ(objectsAfter, objectsBefore) << "temporaries destroyed";
}

TEST(DrawCutPath, TheCloseBoxDuringTheTraceStopsItAndClosesOnceItHasReturned) {
  TraceWorld w;
  OpenDialog& d = w.NewDialog();
  std::size_t before = 0, atClose = 0;
  bool result = true, openAfterTrace = false;
  const int listener = w.scenario.Clock().AddListener([&](std::int64_t, std::int64_t) {
    const std::size_t moves = w.MoveCount();
    if (before > 0 && atClose == 0 && moves >= before + 2) {
      atClose = moves;
      PostMessage(d.GetSafeHwnd(), WM_CLOSE, 0, 0);
    }
  });
  w.op.Then(ScriptedOperator::Call([&] {
    before = w.MoveCount();
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
  EXPECT_EQ(w.MoveCount(), atClose) << "no move after the close";
  EXPECT_EQ(status, IDCANCEL);
}

TEST(DrawCutPath, ASelectionWithoutImageAndPathIsRefusedWithAMessageAndNothingMoves) {
  TraceWorld w;
  const uint64 image = w.scenario.Doc().imageObject;
  const uint64 path = w.scenario.Doc().paths.at(0);
  const char kText[] =
      "Select the reference image object first and the path to trace second. Nothing was traced.";
  for (const std::vector<uint64>& selection :
       {std::vector<uint64>{image}, {path, image}, {image, w.scenario.Doc().marks.at(0)}}) {
    SCOPED_TRACE(selection.size());
    DBDeselectAll();
    for (uint64 h : selection) DBSelect(h);
    w.op.ExpectBox(kText, IDOK);
    std::size_t before = 0;
    bool result = true;
    w.Within([&](OpenDialog& d) {
      before = w.MoveCount();
      d.m_bRunning = 1;
      result = d.DrawCutPath(d.m_pRegImage.get(), nullptr, cv::Point(0, 0));
      d.m_bRunning = 0;
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(w.MoveCount(), before);
  }
}

}  // namespace
}  // namespace kx::test
