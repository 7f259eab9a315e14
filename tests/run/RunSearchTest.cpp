// The run's search, cutting and Roll/Sheet handlers driven on the simulated machine: the head
// moves and the sleeps they make are recorded and compared with the sequences they must follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "common/Units.h"
#include "host/Settings.h"
#include "tests/run/DialogWorld.h"
#include "tests/support/ReferencePixels.h"
#include "vision/MarkSearch.h"

namespace kx::test {
namespace {

const char kUnableToLocate[] =
    "Unable to locate image. Select 'OK' to manually locate or 'Cancel' to cancel the job.";

// Replaces the reference picture of one mark with noise, so that mark is never found.
std::function<void(JobDescription&)> SpoilMark(int mark) {
  return [mark](JobDescription& job) {
    const cv::Rect whole(0, 0, job.reference.cols, job.reference.rows);
    cv::RNG(5).fill(job.reference(MarkPixels(job, mark) & whole), cv::RNG::UNIFORM, 0, 256);
  };
}

// A one-copy world whose clock records every sleep made while `recording` is set.
struct SearchWorld : DialogWorld {
  explicit SearchWorld(const std::function<void(JobDescription&)>& editJob = nullptr,
                       const WorldOptions& world = SheetWorld(1, 1, 41))
      : DialogWorld(world, editJob) {
    m_listener = scenario.Clock().AddListener([this](std::int64_t from, std::int64_t to) {
      if (recording) sleeps.push_back(to - from);
    });
  }
  ~SearchWorld() { scenario.Clock().RemoveListener(m_listener); }

  // The differences between consecutive points, starting from `start`.
  static std::vector<cv::Point> Steps(cv::Point start, const std::vector<cv::Point>& targets) {
    std::vector<cv::Point> out;
    for (const cv::Point& t : targets) {
      out.push_back(t - start);
      start = t;
    }
    return out;
  }
  int Count(std::int64_t micros) const {
    return static_cast<int>(std::count(sleeps.begin(), sleeps.end(), micros));
  }

  bool recording = false;
  std::vector<std::int64_t> sleeps;

 private:
  int m_listener = 0;
};

TEST(RunSearch, AFirstMarkNotFoundIsSoughtInFiveHalfAreaStepsAlongTheRowThenAsked) {
  const struct { int dir, stepX, stepY; } cases[] = {{-1, 1, 0}, {1, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "dir " << c.dir << ", copies along (" << c.stepX << ", " << c.stepY << ")");
    SearchWorld w(SpoilMark(0));
    const cv::Point start(20000, 20000);
    w.Park(start);
    w.op.ExpectBox(kUnableToLocate, IDCANCEL);
    std::size_t before = 0;
    bool result = true;
    HeadStep step{};
    w.Within([&](OpenDialog& d) {
      before = w.MoveCount();
      d.m_bRunning = 1;
      d.m_nDir = c.dir;
      w.recording = true;
      result = d.LocateObject(0, 0, c.stepX, c.stepY);
      w.recording = false;
      d.m_bRunning = 0;
      step = FirstMarkStep(d.m_pRegImage->Roi().size(), d.m_dScale, c.dir, c.stepX, c.stepY);
    });
    EXPECT_FALSE(result);
    ASSERT_NE(step, (HeadStep{0, 0}));
    EXPECT_EQ(SearchWorld::Steps(start, w.TargetsFrom(before)),
              std::vector<cv::Point>(5, cv::Point(step.dx, step.dy)));
    EXPECT_EQ(w.Count(100'000), 6 * 3) << "a look where the head stood and one after each step";
  }
}

TEST(RunSearch, ALaterMarkNotFoundIsSoughtAroundItsPredictionInFourStepsThenAsked) {
  for (int dir : {1, -1}) {
    SCOPED_TRACE(testing::Message() << "dir " << dir);
    SearchWorld w(SpoilMark(1));
    w.Park(w.scenario.HeadOverMark(0, 0));
    w.op.ExpectBox(kUnableToLocate, IDCANCEL);
    std::size_t before = 0;
    std::vector<cv::Point> table;
    w.Within([&](OpenDialog& d) {
      before = w.MoveCount();
      d.m_bRunning = 1;
      d.m_nDir = dir;
      EXPECT_FALSE(d.LocateObject(0, 0, 0, 1));
      d.m_bRunning = 0;
      d.SetupRegImage(1);
      for (int i = 0; i < 4; ++i) {
        const HeadStep s = LaterMarkStep(i, d.m_pRegImage->Roi().size(), d.m_dScale, dir);
        table.emplace_back(s.dx, s.dy);
      }
    });
    const std::vector<cv::Point> targets = w.TargetsFrom(before);
    ASSERT_GE(targets.size(), 6u);
    const std::vector<cv::Point> last(targets.end() - 5, targets.end());
    const std::vector<cv::Point> steps =
        SearchWorld::Steps(last[0], {last.begin() + 1, last.end()});
    EXPECT_EQ(steps, table);
  }
}

TEST(RunSearch, AFoundMarkTheHeadCannotReachIsFollowedByEightCentringMovesThenAsked) {
  // A camera 3100 units right of the knife, and a sheet placed so that the camera centres on the
  // first mark only with the head at x = -100: below the bed's origin, where it cannot go.
  WorldOptions world = SheetWorld(1, 1, 41);
  world.camera.offsetX = 3100;
  {
    SearchWorld probe(nullptr, world);
    world.sheet.offsetX += -100 - probe.scenario.HeadOverMark(0, 0).x;
  }
  SearchWorld w(nullptr, world);
  const cv::Point2d mark = w.scenario.HeadOverMark(0, 0);
  ASSERT_NEAR(mark.x, -100, 1);
  w.Park({0, mark.y});
  w.op.ExpectBox(kUnableToLocate, IDCANCEL);
  std::size_t before = 0;
  bool result = true;
  w.Within([&](OpenDialog& d) {
    Sleep(200);  // the camera's frames since the dialog opened
    before = w.MoveCount();
    d.m_bRunning = 1;
    w.recording = true;
    result = d.LocateObject(0, 0, 0, 1);
    w.recording = false;
    d.m_bRunning = 0;
  });
  EXPECT_FALSE(result);
  // Every centring move is clamped to x = 0 and leaves the mark 100 units off: eight of them,
  // then the search gives up and asks.
  const std::vector<cv::Point> targets = w.TargetsFrom(before);
  ASSERT_EQ(targets.size(), 8u) << "eight centring moves, no stepping move";
  for (const cv::Point& t : targets) {
    EXPECT_EQ(t.x, 0);
    EXPECT_NEAR(t.y, mark.y, 6);
  }
  EXPECT_EQ(w.Count(100'000), 9 * 3) << "a look before each centring move and one after the last";
}

TEST(RunSearch, CuttingNudgesTheHeadByTwoAndPollsEveryHundredMillisecondsUntilItRests) {
  SearchWorld w;
  w.Park(w.scenario.HeadOverMark(0, 0));
  cv::Point2d rest;
  std::int64_t t0 = 0;
  std::size_t before = 0, valuesBefore = 0;
  w.Within([&](OpenDialog& d) {
    d.m_bRunning = 1;
    d.m_nDir = 1;
    ASSERT_TRUE(d.LocateObject(0, 0, 0, 1));
    rest = w.scenario.Machine().Cutter().Position();
    t0 = w.scenario.Clock().NowMicros();
    before = w.MoveCount();
    valuesBefore = w.scenario.Machine().Cutter().DeviceValues().size();
    w.recording = true;
    d.Cut();
    w.recording = false;
    d.m_bRunning = 0;
  });
  SimCutter& cutter = w.scenario.Machine().Cutter();
  const std::vector<CutterMove> moves = cutter.Moves();
  ASSERT_GT(moves.size(), before + 2);
  EXPECT_EQ(moves.back().mode, kMoveTravel);
  EXPECT_EQ(moves.back().to, rest + cv::Point2d(2, 2)) << "two units up and right of the rest";
  EXPECT_EQ(moves[before].mode, kMoveTravel);
  EXPECT_EQ(moves[before + 1].mode, kMoveCut);
  // The wait: every poll 100 ms, ending at the first two equal readings after the head rested.
  ASSERT_GE(w.sleeps.size(), 2u);
  EXPECT_EQ(w.Count(100'000), static_cast<int>(w.sleeps.size()));
  const std::int64_t until = cutter.BusyUntil();
  const auto n = static_cast<std::int64_t>(w.sleeps.size());
  EXPECT_GE(t0 + (n - 1) * 100'000, until);
  EXPECT_LT(t0 + (n - 2) * 100'000, until);
  // The driver is told the cut begins, then that it has ended.
  std::vector<int> states;
  const std::vector<DeviceValueRecord> values = cutter.DeviceValues();
  for (std::size_t i = valuesBefore; i < values.size(); ++i)
    if (values[i].code == kDevCodeCutState) states.push_back(values[i].value);
  EXPECT_EQ(states, (std::vector<int>{0, 2}));
}

TEST(RunSearch, TheStepBetweenCopiesIsMeasuredOnlyWhenBothPreviousCoordinatesAreNonzero) {
  SearchWorld w;
  w.Park(w.scenario.HeadOverMark(0, 0));
  const TM x0 = TM::Translation(111, 0);
  const TM y0 = TM::Translation(0, 222);
  struct Outcome {
    TM x, y;
    NewWorldPt first;
  };
  std::vector<Outcome> outcomes;
  const struct {
    long prevX, prevY;
    int stepX, stepY;
  } calls[] = {{1234, 0, 1, 0}, {0, 1234, 1, 0}, {1234, 5678, 1, 0}, {1234, 5678, 0, 1}};
  w.Within([&](OpenDialog& d) {
    d.m_bRunning = 1;
    d.m_nDir = 1;
    for (const auto& c : calls) {
      const cv::Point2d over = w.scenario.HeadOverMark(0, 0);
      d.MoveToOffset(Trunc(over.x) - d.HeadPosition().x, Trunc(over.y) - d.HeadPosition().y);
      d.m_tmStepX = x0;
      d.m_tmStepY = y0;
      EXPECT_TRUE(d.LocateObject(c.prevX, c.prevY, c.stepX, c.stepY));
      outcomes.push_back({d.m_tmStepX, d.m_tmStepY, d.FoundPoint(0)});
    }
    d.m_bRunning = 0;
  });
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_EQ(outcomes[0].x, x0) << "previous y is 0";
  EXPECT_EQ(outcomes[1].x, x0) << "previous x is 0";
  EXPECT_EQ(outcomes[0].y, y0);
  EXPECT_EQ(outcomes[1].y, y0);
  // Both nonzero: the distance from the previous mark to the head centred on this one, as
  // absolute values, into the step of the copies' axis only. The head stood within the centring
  // tolerance (6 units) of the found position.
  EXPECT_NEAR(outcomes[2].x.dx, std::fabs(1234 - outcomes[2].first.x), 6);
  EXPECT_NEAR(outcomes[2].x.dy, std::fabs(5678 - outcomes[2].first.y), 6);
  EXPECT_EQ(outcomes[2].y, y0);
  EXPECT_EQ(outcomes[3].x, x0);
  EXPECT_NEAR(outcomes[3].y.dx, std::fabs(1234 - outcomes[3].first.x), 6);
  EXPECT_NEAR(outcomes[3].y.dy, std::fabs(5678 - outcomes[3].first.y), 6);
}

TEST(RunDialogMaterial, RollEnablesTheCountAcrossTheRollSheetBothAndTheLastOneIsStored) {
  SearchWorld w;
  for (int rollDir : {0, 1, 3}) {
    SCOPED_TRACE(rollDir);
    WriteIntDeviceSetup("KestrixRollDir", rollDir);
    bool rollAtStart = false, xAtStart = false, yAtStart = false, xRoll = false, yRoll = false,
         xSheet = false, ySheet = false;
    const auto read = [&w](bool* x, bool* y) {
      return ScriptedOperator::Call([&w, x, y] {
        *x = w.dialog->GetDlgItem(IDC_KX_COPIES_X)->IsWindowEnabled();
        *y = w.dialog->GetDlgItem(IDC_KX_COPIES_Y)->IsWindowEnabled();
      });
    };
    w.op.Then(ScriptedOperator::Call(
        [&] { rollAtStart = w.dialog->IsDlgButtonChecked(IDC_KX_ROLL) != 0; }));
    w.op.Then(read(&xAtStart, &yAtStart));
    w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_ROLL));
    w.op.Then(read(&xRoll, &yRoll));
    w.op.Then(ScriptedOperator::CheckRadio(IDC_KX_SHEET));
    w.op.Then(read(&xSheet, &ySheet));
    w.Within([](OpenDialog&) {});
    // Nothing stored: Roll. Then the Sheet stored by the previous close: both counts editable.
    EXPECT_EQ(rollAtStart, rollDir == 0);
    EXPECT_EQ(xAtStart, true);
    EXPECT_EQ(yAtStart, rollDir != 0);
    EXPECT_EQ(xRoll, rollDir == 0);
    EXPECT_EQ(yRoll, rollDir != 0);
    EXPECT_TRUE(xSheet && ySheet);
    EXPECT_EQ(GetIntMorvane("Kestrix Dialog", "Roll", 1, 1), 0);
  }
}

}  // namespace
}  // namespace kx::test
