// The serial cutter against the pseudo-terminal fake plotter: the exact bytes of each dialect,
// the position it answers, and the knife going up on every early end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <string>

#include "common/Motion.h"
#include "devices/FakePlotter.h"
#include "devices/SerialCutter.h"
#include "host/DriverSession.h"
#include "platform/Clock.h"

namespace kx::test {
namespace {

// A fake plotter and a driver connected to it.
struct Line {
  explicit Line(CutterProtocol protocol, int writeTimeoutMs = 2000, bool dryRun = false,
                int unitsPerInch = 1016)
      : plotter(protocol, unitsPerInch) {
    std::string error;
    started = plotter.Start(&error);
    EXPECT_TRUE(started) << error;
    SerialCutterOptions o;
    o.port.path = plotter.PortPath();
    o.port.writeTimeoutMs = writeTimeoutMs;
    o.replyTimeoutMs = 500;
    o.protocol = protocol;
    o.unitsPerInch = unitsPerInch;
    o.dryRun = dryRun;
    cutter = std::make_unique<SerialCutter>(o);
    EXPECT_TRUE(cutter->Connect(&error)) << error;
  }
  // Everything written so far, once the plotter has read it.
  std::string Seen() {
    EXPECT_TRUE(plotter.WaitForBytes(cutter->BytesWritten(), 5000));
    return plotter.Received();
  }
  FakePlotter plotter;
  std::unique_ptr<SerialCutter> cutter;
  bool started = false;
};

// The module's open sequence, a travel, a cut, the end of the cut, the close sequence.
void OneCut(SerialCutter& cutter) {
  InstallCutterDriver(&cutter);
  JOBDATA job{};
  EXPECT_TRUE(OpenDriver(&job));
  EXPECT_EQ(sendxyNoW(1000, 2000, kMoveTravel), 1);
  EXPECT_EQ(sendxyNoW(1500, 2000, kMoveCut), 1);
  std::int32_t two = 2;
  DEV_SendInfo(kDevCodeCutState, &two);
  CloseDriver(&job);
  InstallCutterDriver(nullptr);
}

TEST(SerialCutterBytes, HpglOneCutByteForByte) {
  Line line(CutterProtocol::Hpgl);
  OneCut(*line.cutter);
  EXPECT_EQ(line.Seen(), "IN;PU1016,2032;PD1524,2032;PU;PU0,0;");
  EXPECT_FALSE(line.cutter->Failed()) << line.cutter->LastError();
}

TEST(SerialCutterBytes, GrblOneCutByteForByte) {
  Line line(CutterProtocol::Grbl);
  OneCut(*line.cutter);
  // Feeds: 8000 and 4000 thousandths of an inch a second in millimetres a minute.
  EXPECT_EQ(line.Seen(),
            "G21\nG90\nM5\nG0 X25.400 Y50.800\nM3\nG1 X38.100 Y50.800 F6096\nM5\nM5\n"
            "G0 X0.000 Y0.000\n");
  EXPECT_FALSE(line.cutter->Failed()) << line.cutter->LastError();
}

TEST(SerialCutterBytes, HpglRoundsToTheNearestPlotterUnitAndTheDeviceLandsOnTheTarget) {
  Line line(CutterProtocol::Hpgl);
  // 493 thousandths are 500.888 plotter units: 501, where truncation would say 500.
  EXPECT_EQ(line.cutter->sendxyNoW(493, 1, kMoveTravel), 1);
  EXPECT_EQ(line.Seen(), "PU501,1;");
  std::mt19937 rng(7);
  std::uniform_int_distribution<long> coord(0, 24000);
  std::vector<std::pair<long, long>> targets;
  for (int i = 0; i < 200; ++i) {
    targets.emplace_back(coord(rng), coord(rng));
    ASSERT_EQ(line.cutter->sendxyNoW(targets.back().first, targets.back().second, i % 2), 1);
  }
  line.Seen();
  const std::vector<PlotterStroke> strokes = line.plotter.Strokes();
  ASSERT_EQ(strokes.size(), targets.size() + 1);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    EXPECT_EQ(std::lround(strokes[i + 1].x), targets[i].first) << i;
    EXPECT_EQ(std::lround(strokes[i + 1].y), targets[i].second) << i;
    EXPECT_EQ(strokes[i + 1].mode, static_cast<int>(i % 2)) << i;
  }
}

TEST(SerialCutterBytes, OtherUnitsPerInchScaleThePlotterUnits) {
  Line line(CutterProtocol::Hpgl, 2000, false, 40);  // millimetre-ish plotter units
  EXPECT_EQ(line.cutter->sendxyNoW(20000, 1000, kMoveTravel), 1);
  EXPECT_EQ(line.Seen(), "PU800,40;");
}

TEST(SerialCutterPosition, GrblAnswersTheStatusReportsPosition) {
  Line line(CutterProtocol::Grbl);
  ASSERT_EQ(line.cutter->sendxyNoW(12345, 6789, kMoveTravel), 1);
  std::int32_t xy[2] = {-1, -1};
  ASSERT_EQ(line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy), 1);
  EXPECT_EQ(xy[0], 12345);
  EXPECT_EQ(xy[1], 6789);
  EXPECT_EQ(line.cutter->GetPlotterData(5, kPlotterDataHeadPosition, xy), 0);
}

TEST(SerialCutterPosition, HpglFollowsTheKinematicModelOnTheClock) {
  VirtualClock clock(1000000);
  ScopedClock install(&clock);
  Line line(CutterProtocol::Hpgl);
  const SerialCutterOptions& o = line.cutter->Options();
  ASSERT_EQ(line.cutter->sendxyNoW(12000, 0, kMoveTravel), 1);
  ASSERT_EQ(line.cutter->sendxyNoW(12000, 3000, kMoveCut), 1);
  const double first = MoveDuration(12000, o.travelSpeed, o.acceleration);
  const double second = MoveDuration(3000, o.cutSpeed, o.acceleration);
  std::int32_t xy[2];
  ASSERT_EQ(line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy), 1);
  EXPECT_EQ(xy[0], 0);
  EXPECT_EQ(xy[1], 0);
  // Half-way in time is half-way along: the profile brakes as it accelerates.
  clock.Advance(static_cast<std::int64_t>(first * 0.5e6));
  line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy);
  EXPECT_NEAR(xy[0], 6000, 2);
  EXPECT_EQ(xy[1], 0);
  // The second move starts where and when the first ends.
  clock.Advance(static_cast<std::int64_t>(first * 0.5e6) + 1);
  line.cutter->GetPlotterData(-2, kPlotterDataHeadPosition, xy);
  EXPECT_EQ(xy[0], 12000);
  EXPECT_EQ(xy[1], 0);
  clock.Advance(static_cast<std::int64_t>(second * 0.25e6));
  line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy);
  EXPECT_GT(xy[1], 0);
  EXPECT_LT(xy[1], 1500);
  clock.Advance(static_cast<std::int64_t>(second * 1e6));
  line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy);
  EXPECT_EQ(xy[0], 12000);
  EXPECT_EQ(xy[1], 3000);
}

TEST(SerialCutterSafety, TargetsOffTheBedAreRefusedAndLiftTheKnife) {
  for (CutterProtocol protocol : {CutterProtocol::Hpgl, CutterProtocol::Grbl}) {
    Line line(protocol);
    const SerialCutterOptions& o = line.cutter->Options();
    ASSERT_EQ(line.cutter->sendxyNoW(100, 100, kMoveCut), 1);
    ASSERT_TRUE(line.plotter.WaitForBytes(line.cutter->BytesWritten(), 5000));
    const std::string before = line.Seen();
    EXPECT_EQ(line.cutter->sendxyNoW(-1, 10, kMoveCut), 0);
    EXPECT_EQ(line.Seen().substr(before.size()), protocol == CutterProtocol::Hpgl ? "PU;" : "M5\n");
    EXPECT_FALSE(line.plotter.KnifeDown());
    const std::string lifted = line.Seen();
    EXPECT_EQ(line.cutter->sendxyNoW(10, -1, kMoveTravel), 0);
    EXPECT_EQ(line.cutter->sendxyNoW(o.bedWidth + 1L, 10, kMoveTravel), 0);
    EXPECT_EQ(line.cutter->sendxyNoW(10, o.bedHeight + 1L, kMoveTravel), 0);
    EXPECT_EQ(line.Seen(), lifted) << "a refused move sent something";
    // The bed's far corner itself is on the bed, and a refusal does not end the job.
    EXPECT_EQ(line.cutter->sendxyNoW(o.bedWidth, o.bedHeight, kMoveTravel), 1);
    EXPECT_FALSE(line.cutter->Failed());
  }
}

TEST(SerialCutterSafety, DryRunSendsEveryMoveWithTheKnifeUp) {
  for (CutterProtocol protocol : {CutterProtocol::Hpgl, CutterProtocol::Grbl}) {
    Line line(protocol, 2000, true);
    OneCut(*line.cutter);
    const std::string seen = line.Seen();
    EXPECT_EQ(seen.find(protocol == CutterProtocol::Hpgl ? "PD" : "M3"), std::string::npos) << seen;
    for (const PlotterStroke& s : line.plotter.Strokes()) EXPECT_EQ(s.mode, kMoveTravel);
    EXPECT_EQ(line.plotter.Strokes().size(), 3u);  // both moves and the way home
  }
}

TEST(SerialCutterSafety, KnifeGoesUpWhenTheCutEndsAndOnRequest) {
  for (CutterProtocol protocol : {CutterProtocol::Hpgl, CutterProtocol::Grbl}) {
    Line line(protocol);
    ASSERT_EQ(line.cutter->sendxyNoW(500, 500, kMoveCut), 1);
    line.Seen();
    EXPECT_TRUE(line.plotter.KnifeDown());
    std::int32_t two = 2;
    line.cutter->DEV_SendInfo(kDevCodeCutState, &two);
    line.Seen();
    EXPECT_FALSE(line.plotter.KnifeDown());
    ASSERT_EQ(line.cutter->sendxyNoW(600, 500, kMoveCut), 1);
    line.cutter->KnifeUp();
    line.Seen();
    EXPECT_FALSE(line.plotter.KnifeDown());
  }
}

TEST(SerialCutterSafety, ADeviceHoldingXoffEndsTheJobWithTheTimeoutNamingThePort) {
  Line line(CutterProtocol::Hpgl, 200);
  ASSERT_EQ(line.cutter->sendxyNoW(100, 100, kMoveTravel), 1);
  line.Seen();
  line.plotter.SendXoff();
  // The XOFF reaches the driver through the terminal's buffers: a move or two may still go out.
  int sent = 0;
  while (sent < 50 && line.cutter->sendxyNoW(200, 100, kMoveTravel) == 1) ++sent;
  EXPECT_LT(sent, 50);
  EXPECT_TRUE(line.cutter->Failed());
  const std::string error = line.cutter->LastError();
  EXPECT_NE(error.find(line.plotter.PortPath()), std::string::npos) << error;
  EXPECT_NE(error.find("XOFF"), std::string::npos) << error;
  // XON afterwards does not revive a job that has ended.
  const std::string before = line.Seen();
  line.plotter.SendXon();
  EXPECT_EQ(line.cutter->sendxyNoW(300, 100, kMoveTravel), 0);
  EXPECT_EQ(line.Seen(), before);
}

TEST(SerialCutterSafety, XoffThenXonLetsTheWriteThrough) {
  Line line(CutterProtocol::Hpgl, 5000);
  line.plotter.SendXoff();
  line.plotter.SendXon();
  EXPECT_EQ(line.cutter->sendxyNoW(100, 100, kMoveTravel), 1);
  EXPECT_EQ(line.Seen(), "PU102,102;");
}

TEST(SerialCutterSafety, AStalledDeviceEndsTheJobInsteadOfHanging) {
  {
    Line line(CutterProtocol::Hpgl, 200);
    line.plotter.SetStalled(true);
    int sent = 0;
    while (sent < 200000 && line.cutter->sendxyNoW(sent % 20000, 100, kMoveTravel) == 1) ++sent;
    EXPECT_LT(sent, 200000);
    EXPECT_NE(line.cutter->LastError().find("took no data for 200 ms"), std::string::npos)
        << line.cutter->LastError();
    line.plotter.SetStalled(false);
  }
  {
    Line line(CutterProtocol::Grbl, 200);
    line.plotter.SetStalled(true);
    EXPECT_EQ(line.cutter->sendxyNoW(100, 100, kMoveTravel), 0);
    const std::string error = line.cutter->LastError();
    EXPECT_NE(error.find(line.plotter.PortPath()), std::string::npos) << error;
    EXPECT_NE(error.find("no answer"), std::string::npos) << error;
    line.plotter.SetStalled(false);
  }
}

TEST(SerialCutterSafety, AnErrorReplyEndsTheJobAndResetsTheKnifeUp) {
  Line line(CutterProtocol::Grbl);
  ASSERT_EQ(line.cutter->sendxyNoW(100, 100, kMoveCut), 1);
  line.Seen();
  ASSERT_TRUE(line.plotter.KnifeDown());
  line.plotter.SetRejectLines(true);
  EXPECT_EQ(line.cutter->sendxyNoW(200, 100, kMoveCut), 0);
  EXPECT_NE(line.cutter->LastError().find("error:9"), std::string::npos)
      << line.cutter->LastError();
  const std::string seen = line.Seen();
  EXPECT_EQ(seen.substr(seen.size() - 2), std::string("!") + '\x18');
  EXPECT_FALSE(line.plotter.KnifeDown());
  EXPECT_EQ(line.cutter->sendxyNoW(300, 100, kMoveTravel), 0);
}

TEST(SerialCutterSafety, ALostPortEndsTheJobAndNothingMoreIsSent) {
  for (CutterProtocol protocol : {CutterProtocol::Hpgl, CutterProtocol::Grbl}) {
    Line line(protocol);
    ASSERT_EQ(line.cutter->sendxyNoW(100, 100, kMoveCut), 1);
    line.Seen();
    line.plotter.HangUp();
    EXPECT_EQ(line.cutter->sendxyNoW(200, 100, kMoveCut), 0);
    const std::string error = line.cutter->LastError();
    EXPECT_NE(error.find(line.plotter.PortPath() + ": the port was lost"), std::string::npos)
        << error;
    std::int32_t xy[2];
    EXPECT_EQ(line.cutter->GetPlotterData(0, kPlotterDataHeadPosition, xy), 0);
    EXPECT_EQ(line.cutter->EndPrinter(nullptr, nullptr), 0);
  }
}

TEST(SerialCutterSafety, ASignalLiftsTheKnifeBeforeTheProgramEnds) {
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer stops calling signal handlers in a child forked from a process with threads
  // (the fake plotter's), so the child would never reach the handler under test.
  GTEST_SKIP() << "signal handlers are not called in a forked child under ThreadSanitizer";
#endif
  for (int sig : {SIGINT, SIGTERM}) {
    for (CutterProtocol protocol : {CutterProtocol::Hpgl, CutterProtocol::Grbl}) {
      FakePlotter plotter(protocol);
      std::string error;
      ASSERT_TRUE(plotter.Start(&error)) << error;
      // The plotter's thread idles while the child runs: nothing of it is copied mid-way.
      plotter.SetStalled(true);
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        SerialCutterOptions o;
        o.port.path = plotter.PortPath();
        o.protocol = protocol;
        o.replyTimeoutMs = 0;  // nobody answers while stalled: a GRBL line would fail at once
        SerialCutter cutter(o);
        if (!cutter.Connect(&error) || cutter.DEV_Load() != 1) _exit(3);
        if (protocol == CutterProtocol::Hpgl) cutter.sendxyNoW(100, 100, kMoveCut);
        std::raise(sig);
        _exit(4);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
      EXPECT_EQ(WTERMSIG(status), sig);
      plotter.SetStalled(false);
      const std::string bytes = KnifeUpBytes(protocol);
      ASSERT_TRUE(plotter.WaitForBytes(bytes.size(), 5000));
      const std::string seen = plotter.Received();
      ASSERT_GE(seen.size(), bytes.size());
      EXPECT_EQ(seen.substr(seen.size() - bytes.size()), bytes) << seen;
      EXPECT_FALSE(plotter.KnifeDown());
    }
  }
}

}  // namespace
}  // namespace kx::test
