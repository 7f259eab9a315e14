// The grey-level locator on the simulated machine: a weak start approached, the rotation of a
// turned sheet estimated from the rotated templates, and the empty slots' zero.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/Log.h"
#include "tests/run/DialogWorld.h"

namespace kx::test {
namespace {

// One copy on a sheet turned by `rotation` degrees, without per-copy turns.
WorldOptions TurnedSheet(double rotation) {
  WorldOptions o = SheetWorld(1, 1, 23);
  o.sheet.rotation = rotation;
  o.copies.jitterRotation = 0;
  return o;
}

struct Outcome {
  bool found = false;
  bool foundAgain = false;
  double rotationAgain = 99;
  long x = 0, y = 0;
  double rotation = 99;
  cv::Point2d head;  // where the cutter stands after the first look
  std::string status;
  std::vector<std::string> lines;
};

// Looks for mark 0 from start; when again is set, looks a second time from where the first look
// left the head.
Outcome Locate(DialogWorld& w, cv::Point2d start, bool fillSlots, bool again = false) {
  Outcome o;
  w.Park(start);
  w.Within([&](OpenDialog& d) {
    Sleep(200);  // frames of where the head stands
    if (fillSlots) d.SetupRotTmpl();
    d.m_bRunning = 1;
    ScopedLogCapture capture;
    o.found = d.FindRegMark2(d.m_pRegImage.get(), &o.x, &o.y);
    for (const std::string& line : capture.Lines())
      if (line.find("Match takes") != std::string::npos) o.lines.push_back(line);
    o.head = w.scenario.Machine().Cutter().Position();
    o.rotation = d.m_dRotation;
    o.status = d.m_strStatus;
    if (again) {
      long x = 0, y = 0;
      o.foundAgain = d.FindRegMark2(d.m_pRegImage.get(), &x, &y);
      o.rotationAgain = d.m_dRotation;
    }
    d.m_bRunning = 0;
  });
  return o;
}

constexpr double kDegree = 3.141592653589793 / 180;

TEST(FindRegMark2, ATurnedSheetIsApproachedFromAWeakStartAndItsAngleEstimated) {
  DialogWorld w(TurnedSheet(2.0));
  const cv::Point2d over = w.scenario.HeadOverMark(0, 0);
  // The mark overhangs the frame's right edge: the first look scores between 0.4 and 0.7.
  const Outcome o = Locate(w, over + cv::Point2d(-230, 0), true, true);
  ASSERT_TRUE(o.found);
  EXPECT_EQ(o.lines.size(), 3u) << "two approach moves, each followed by a look";
  for (const std::string& line : o.lines)
    EXPECT_EQ(line, "kestrix: vision: Match takes      0 seconds.");
  // The approach ends as soon as the score passes 0.7, with the mark still a few pixels over the
  // edge: the centring is that far off, and a second look measures the angle.
  EXPECT_NEAR(o.x, over.x, 20);
  EXPECT_NEAR(o.y, over.y, 8);
  EXPECT_EQ(cv::Point2d(o.x, o.y), o.head) << "the head position after centring";
  EXPECT_EQ(o.status.rfind("Rotation angle: ", 0), 0u) << o.status;
  ASSERT_TRUE(o.foundAgain);
  EXPECT_NEAR(o.rotationAgain / kDegree, 2.0, 0.5);
}

TEST(FindRegMark2, StopDuringTheApproachEndsItWithoutAnotherLookOrMove) {
  DialogWorld w(TurnedSheet(2.0));
  w.Park(w.scenario.HeadOverMark(0, 0) + cv::Point2d(-230, 0));
  std::size_t before = 0, atStop = 0;
  bool found = true;
  std::size_t looks = 0;
  const int listener = w.scenario.Clock().AddListener([&](std::int64_t, std::int64_t) {
    const std::size_t moves = w.scenario.Machine().Cutter().Moves().size();
    if (before > 0 && atStop == 0 && moves > before) {
      atStop = moves;
      w.dialog->OnStop();
    }
  });
  w.Within([&](OpenDialog& d) {
    Sleep(200);
    d.SetupRotTmpl();
    before = w.scenario.Machine().Cutter().Moves().size();
    d.m_bRunning = 1;
    ScopedLogCapture capture;
    long x = 0, y = 0;
    found = d.FindRegMark2(d.m_pRegImage.get(), &x, &y);
    for (const std::string& line : capture.Lines())
      looks += line.find("Match takes") != std::string::npos;
  });
  w.scenario.Clock().RemoveListener(listener);
  EXPECT_FALSE(found);
  ASSERT_GT(atStop, 0u);
  EXPECT_EQ(w.scenario.Machine().Cutter().Moves().size(), atStop);
  EXPECT_EQ(looks, 1u);
}

TEST(FindRegMark2, WithTheSlotsEmptyTheAngleIsZero) {
  DialogWorld w(TurnedSheet(2.0));
  const Outcome o = Locate(w, w.scenario.HeadOverMark(0, 0), false);
  ASSERT_TRUE(o.found);
  EXPECT_EQ(o.rotation, 0.0);
  EXPECT_EQ(o.status, "Rotation angle: 0");
}

TEST(FindRegMark2, FarFromTheMarkNothingIsFoundAndTheHeadStays) {
  DialogWorld w(TurnedSheet(2.0));
  const cv::Point2d start(30000, 30000);
  const Outcome o = Locate(w, start, true);
  EXPECT_FALSE(o.found);
  EXPECT_EQ(o.lines.size(), 1u);
  EXPECT_EQ(o.head, start);
  EXPECT_EQ(o.status, "Ready");
}

}  // namespace
}  // namespace kx::test
