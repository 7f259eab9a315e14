// The shared open, port, position and close sequences against the simulated driver.
#include <gtest/gtest.h>

#include "host/DriverSession.h"
#include "sim/SimCutter.h"

namespace kx {
namespace {

class DriverSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallCutterDriver(&m_cutter); }
  void TearDown() override { InstallCutterDriver(nullptr); }
  SimCutter m_cutter{WorldCutterOptions{}};
};

TEST_F(DriverSessionTest, OpenAndCloseCallTheDriverInOrder) {
  JOBDATA job{};
  EXPECT_TRUE(OpenDriver(&job));
  CloseDriver(&job);
  const std::vector<std::string> expected = {
      "DEV_Load",          "DEV_LoadPenData",     "LoadCutData",
      "SetPlotResolNew 0", "StartPrinter null 1", "DEV_Initial 2 1 0",
      "EndPrinter null",   "DEV_Unload",          "ResetCutStatics -666"};
  EXPECT_EQ(m_cutter.CallLog(), expected);
  const auto values = m_cutter.DeviceValues();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].code, kDevCodeCutPower);
  EXPECT_EQ(values[0].value, 0);
}

TEST_F(DriverSessionTest, OpenWithoutDriverReportsFailure) {
  InstallCutterDriver(nullptr);
  JOBDATA job{};
  EXPECT_FALSE(OpenDriver(&job));
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{0, 0}));
}

TEST_F(DriverSessionTest, NetworkAndSpoolerPortsUseMinusTwo) {
  m_cutter.SetPorts({{"USB1", 1}, {"NET", 9}, {"COM3", 2}, {"SPOOL", 13}});
  EXPECT_EQ(ResolvePort("USB1"), 0);
  EXPECT_EQ(ResolvePort("NET"), -2);
  EXPECT_EQ(ResolvePort("COM3"), 2);
  EXPECT_EQ(ResolvePort("SPOOL"), -2);
  EXPECT_EQ(ResolvePort("LPT9"), -1);
  EXPECT_EQ(ResolvePort(nullptr), -1);
}

TEST_F(DriverSessionTest, HeadPositionIsReadOnKnownPortsOnly) {
  m_cutter.sendxyNoW(0, 0, kMoveTravel);
  EXPECT_EQ(ReadHeadPosition(-2), (HeadPoint{0, 0}));
  EXPECT_EQ(ReadHeadPosition(0), (HeadPoint{0, 0}));
  std::int32_t xy[2] = {7, 7};
  EXPECT_EQ(GetPlotterData(42, kPlotterDataHeadPosition, xy), 0);
  EXPECT_EQ(xy[0], 7);
}

}  // namespace
}  // namespace kx
