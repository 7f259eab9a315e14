// Cutting through the host: paths become travel and cut moves in cutter units.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "host/CutterDriver.h"
#include "host/HostServices.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

// One sendxyNoW call.
struct Move {
  long x;
  long y;
  int mode;
  bool operator==(const Move&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Move& m) {
  return os << "(" << m.x << ", " << m.y << ", mode " << m.mode << ")";
}

// Installed for its lifetime; records sendxyNoW, every other call succeeds doing nothing.
class RecordingDriver final : public ICutterDriver {
 public:
  RecordingDriver() { InstallCutterDriver(this); }
  ~RecordingDriver() override { InstallCutterDriver(nullptr); }
  int DEV_Load() override { return 1; }
  int DEV_LoadPenData(PENDATA*) override { return 1; }
  int LoadCutData(CUTDATA*) override { return 1; }
  int SetPlotResolNew(int, CUTDATA*) override { return 1; }
  int StartPrinter(HWND, int, JOBDATA*) override { return 1; }
  int DEV_Initial(PENDATA, int, int) override { return 1; }
  int DEV_SendInfo(int, std::int32_t*) override { return 1; }
  int EndPrinter(HWND, JOBDATA*) override { return 1; }
  int DEV_Unload() override { return 1; }
  void ResetCutStatics(int) override {}
  int GetPortIndexFromName(const char*) override { return 0; }
  int GetWindowsPortTypeAndName(int, int*, char*) override { return 0; }
  int GetPlotterData(int, int, void*) override { return 0; }
  int sendxyNoW(long x, long y, int mode) override {
    if (refuseFrom >= 0 && static_cast<int>(moves.size()) >= refuseFrom) return 0;
    moves.push_back(Move{x, y, mode});
    return 1;
  }

  std::vector<Move> moves;
  int refuseFrom = -1;  // the index of the first move the driver refuses; -1: none
};

class CutMachineTest : public HostTest {
 protected:
  RecordingDriver m_driver;
};

// The run cuts without a transform; a host may hand one, applied before the cut.
TEST_F(CutMachineTest, TransformIsAppliedFirstWithoutChangingTheObject) {
  const uint64 line = Doc().AddPath({PathSegment::Line({0.254, 0.254}, {0.508, 0.254})});
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, line);
  const TM shift = TM::Translation(2.54, 0.0);
  HostCutMachine()->CallSection(list, &shift);
  EXPECT_EQ(m_driver.moves, (std::vector<Move>{{1100, 100, 0}, {1200, 100, 1}}));
  BOUNDS b;
  DBGetObjectBounds(line, &b);
  EXPECT_EQ(b.minX, 0.254);
}

TEST_F(CutMachineTest, ArcIsFlattenedWithinTheToleranceAndEndsExactly) {
  // Quarter circle of radius 2.54 (1000 cutter units) around (5.08, 5.08), from 0 to 90 degrees.
  const uint64 arc = Doc().AddPath({PathSegment::Arc({5.08, 5.08}, 2.54, 0.0, 90.0)});
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, arc);
  CCutMachine().CallSection(list, nullptr);
  ASSERT_GE(m_driver.moves.size(), 10u);
  EXPECT_EQ(m_driver.moves.front(), (Move{3000, 2000, 0}));
  EXPECT_EQ(m_driver.moves.back(), (Move{2000, 3000, 1}));
  for (std::size_t i = 1; i < m_driver.moves.size(); ++i) {
    const Move& a = m_driver.moves[i - 1];
    const Move& m = m_driver.moves[i];
    EXPECT_EQ(m.mode, 1);
    // Every point lies on the circle (truncation costs up to 1.5 units) ...
    EXPECT_NEAR(std::hypot(m.x - 2000.0, m.y - 2000.0), 1000.0, 1.5);
    // ... and every chord's middle strays less than the tolerance plus truncation.
    const double mid = std::hypot((a.x + m.x) / 2.0 - 2000.0, (a.y + m.y) / 2.0 - 2000.0);
    EXPECT_GT(mid, 1000.0 - 0.5 - 1.5);
    // Counter-clockwise: x falls, y rises.
    EXPECT_LE(m.x, a.x);
    EXPECT_GE(m.y, a.y);
  }
}

TEST_F(CutMachineTest, SeparateSubpathsEachStartWithATravelAndNegativeTargetsStopAtZero) {
  const uint64 h = Doc().AddPath({PathSegment::Line({-0.254, 0.254}, {0.254, 0.254}),
                                  PathSegment::Line({2.54, 2.54}, {2.54, 5.08})});
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, h);
  DBAddToList(list, 12345);
  CCutMachine().CallSection(list, nullptr);
  const std::vector<Move> expected{{0, 100, 0}, {100, 100, 1}, {1000, 1000, 0}, {1000, 2000, 1}};
  EXPECT_EQ(m_driver.moves, expected);
  CCutMachine().CallSection(ObjList{}, nullptr);
  EXPECT_EQ(m_driver.moves.size(), 4u);
}

TEST_F(CutMachineTest, ReportsWhetherTheHostTookTheCut) {
  const uint64 square = Doc().AddPath(RectanglePath(2.54, 5.08, 5.08, 7.62));
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, square);
  EXPECT_TRUE(CCutMachine().CallSection(list, nullptr));
  EXPECT_TRUE(CCutMachine().CallSection(DBCreateEmptyList(), nullptr)) << "nothing to cut";
  EXPECT_FALSE(CCutMachine().CallSection(ObjList{}, nullptr)) << "no list at all";

  // A driver that refuses the third move: the cut fails and nothing after it is sent.
  m_driver.moves.clear();
  m_driver.refuseFrom = 2;
  EXPECT_FALSE(CCutMachine().CallSection(list, nullptr));
  EXPECT_EQ(m_driver.moves.size(), 2u);

  // No host: nothing is cut, and there is no host cut machine to fall back on.
  ScopedHost none(nullptr);
  m_driver.refuseFrom = -1;
  m_driver.moves.clear();
  EXPECT_FALSE(CCutMachine().CallSection(list, nullptr));
  EXPECT_TRUE(m_driver.moves.empty());
  EXPECT_EQ(HostCutMachine(), nullptr);
}

}  // namespace
}  // namespace kx::test
