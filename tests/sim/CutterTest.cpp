// The simulated cutter: motion on the clock, the bed limits and the knife's record.
#include <gtest/gtest.h>

#include "host/DriverSession.h"
#include "platform/Clock.h"
#include "sim/SimCutter.h"

namespace kx {
namespace {

WorldCutterOptions NoAcceleration() {
  WorldCutterOptions o;
  o.acceleration = 0;
  o.travelSpeed = 10000;
  o.cutSpeed = 5000;
  return o;
}

TEST(SimCutter, HeadMovesAtItsSpeedAndArrives) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  SimCutter cutter(NoAcceleration());
  ASSERT_EQ(sendxyNoW(3000, 4000, kMoveTravel), 0);  // no driver installed: nothing happens
  InstallCutterDriver(&cutter);
  sendxyNoW(3000, 4000, kMoveTravel);  // 5000 units at 10000/s: 0.5 s
  clock.Advance(250000);
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{1500, 2000}));
  clock.Advance(250000);
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{3000, 4000}));
  // Queued moves run one after the other, the cut at cutting speed.
  sendxyNoW(3000, 9000, kMoveCut);  // 1 s
  sendxyNoW(0, 9000, kMoveTravel);  // 0.3 s
  clock.Advance(500000);
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{3000, 6500}));
  clock.Advance(650000);
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{1500, 9000}));
  clock.Advance(1000000);
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{0, 9000}));
  InstallCutterDriver(nullptr);
}

TEST(SimCutter, TravellingUntilNearWhereTheHeadStops) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  SimCutter cutter(NoAcceleration());
  const std::int64_t frame = 66667;
  EXPECT_FALSE(cutter.TravellingAt(0, frame, 50));  // nothing queued: at rest
  cutter.sendxyNoW(10000, 0, kMoveTravel);  // 1 s at 10000/s
  cutter.sendxyNoW(10000, 5000, kMoveCut);  // follows on at once: 1 s at 5000/s
  EXPECT_TRUE(cutter.TravellingAt(500000, frame, 50));
  // Near the end of the first move the second carries the head on: still on its way.
  EXPECT_TRUE(cutter.TravellingAt(999000, frame, 50));
  // 100 units before the stop it is on its way; 40 units before, near enough to be looked at.
  EXPECT_TRUE(cutter.TravellingAt(1980000, 1000, 50));
  EXPECT_FALSE(cutter.TravellingAt(1992000, 1000, 50));
  // Stopping within the horizon: the frame would still be current when the head rests.
  EXPECT_FALSE(cutter.TravellingAt(1950000, frame, 50));
  EXPECT_FALSE(cutter.TravellingAt(2000000, frame, 50));
  // A move sent after a rest starts a new run of moves, ending at its own target.
  clock.Advance(3000000);
  cutter.sendxyNoW(10000, 4000, kMoveTravel);  // 0.1 s
  EXPECT_TRUE(cutter.TravellingAt(3010000, 1000, 50));
  EXPECT_FALSE(cutter.TravellingAt(3010000, 100000, 50));
  EXPECT_FALSE(cutter.TravellingAt(2500000, 1000, 50));  // resting between the two
}

TEST(SimCutter, AccelerationShapesTheMoveButNotItsEnd) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  WorldCutterOptions o = NoAcceleration();
  o.acceleration = 20000;  // 0.5 s to full speed over 2500 units
  SimCutter cutter(o);
  cutter.sendxyNoW(10000, 0, kMoveTravel);
  // 2500 accelerating + 5000 cruising + 2500 braking: 0.5 + 0.5 + 0.5 s.
  EXPECT_NEAR(cutter.PositionAt(250000).x, 625.0, 1e-6);
  EXPECT_NEAR(cutter.PositionAt(750000).x, 5000.0, 1e-6);
  EXPECT_NEAR(cutter.PositionAt(1250000).x, 9375.0, 1e-6);
  EXPECT_EQ(cutter.BusyUntil(), 1500000);
  // A short move never reaches full speed: 1000 units take 2 * sqrt(1000 / 20000) s, 447213.6 us
  // (rounded up).
  clock.Advance(2000000);
  cutter.sendxyNoW(11000, 0, kMoveTravel);
  EXPECT_EQ(cutter.BusyUntil(), 2447214);
  // Positions along the way never go backwards.
  double last = 0;
  for (std::int64_t t = 0; t <= 2600000; t += 10000) {
    const double x = cutter.PositionAt(t).x;
    EXPECT_GE(x, last - 1e-9) << t;
    last = x;
  }
}

TEST(SimCutter, MovePastTheBedEdgeStallsAtTheEdge) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  WorldCutterOptions o = NoAcceleration();
  o.bedWidth = 20000;
  o.bedHeight = 10000;
  SimCutter cutter(o);
  cutter.sendxyNoW(30000, 12000, kMoveTravel);
  clock.Advance(5000000);
  const cv::Point2d end = cutter.Position();
  EXPECT_EQ(end, cv::Point2d(20000, 10000));
  // Two readings apart in time agree: the head has stopped short of the target.
  clock.Advance(200000);
  EXPECT_EQ(cutter.Position(), end);
  cutter.sendxyNoW(-50, 500, kMoveTravel);
  clock.Advance(5000000);
  EXPECT_EQ(cutter.Position(), cv::Point2d(0, 500));
}

TEST(SimCutter, KnifeRecordsOnlyCuttingMovesAsTheyProgress) {
  VirtualClock clock;
  ScopedClock scoped(&clock);
  SimCutter cutter(NoAcceleration());
  cutter.sendxyNoW(1000, 1000, kMoveTravel);  // 0.1414 s
  cutter.sendxyNoW(6000, 1000, kMoveCut);     // 1 s
  cutter.sendxyNoW(6000, 2000, kMoveTravel);
  const auto cuts = cutter.Cuts();
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_EQ(cuts[0].segment.a, cv::Point2d(1000, 1000));
  EXPECT_EQ(cuts[0].segment.b, cv::Point2d(6000, 1000));
  EXPECT_EQ(cuts[0].end - cuts[0].start, 1000000);
  EXPECT_TRUE(cutter.KnifeTrace(cuts[0].start).empty());
  const auto half = cutter.KnifeTrace(cuts[0].start + 500000);
  ASSERT_EQ(half.size(), 1u);
  EXPECT_NEAR(half[0].b.x, 3500.0, 1e-6);
  EXPECT_EQ(cutter.KnifeTrace(cuts[0].end + 1).at(0).b, cv::Point2d(6000, 1000));
}

}  // namespace
}  // namespace kx
