// The configured devices without hardware: a simulated world with a fake plotter on a
// pseudo-terminal, and the settings a user would write for that cutter, so that a job on the
// devices opens its cutter through the settings exactly as it would a real one. The simulated
// camera follows the fake plotter's head.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "devices/FakePlotter.h"
#include "devices/PortSetup.h"
#include "host/Settings.h"
#include "scenario/HardwareLoop.h"
#include "scenario/Scenario.h"
#include "tests/support/RunHarness.h"
#include "tests/support/Scratch.h"

namespace kx::test {

struct PtyRig {
  explicit PtyRig(CutterProtocol dialect, const WorldOptions& world = SheetWorld(2, 1, 5))
      : protocol(dialect),
        scenario(world, scratch.Path()),
        plotter(dialect, 1016, &scenario.Machine().Cutter()) {
    scenario.StoreCalibration();
    std::string error;
    EXPECT_TRUE(plotter.Start(&error)) << error;
    NamePlotter();
  }

  // "Port Setup" for the fake plotter: its port, its dialect, the bed and the speeds of the
  // machine.
  void NamePlotter() {
    const WorldCutterOptions& c = scenario.Machine().Cutter().Options();
    WriteStringDevice(kPortSetupSection, "Port", plotter.PortPath().c_str());
    WriteStringDevice(kPortSetupSection, "Protocol",
                      protocol == CutterProtocol::Hpgl ? "HPGL" : "GRBL");
    const auto number = [](const char* key, double v) {
      WriteStringDevice(kPortSetupSection, key, std::to_string(v).c_str());
    };
    WriteStringDevice(kPortSetupSection, "Bed Width", std::to_string(c.bedWidth).c_str());
    WriteStringDevice(kPortSetupSection, "Bed Height", std::to_string(c.bedHeight).c_str());
    number("Travel Speed", c.travelSpeed);
    number("Cut Speed", c.cutSpeed);
    number("Acceleration", c.acceleration);
  }

  // What a job calls once the devices are open: every write waits for the plotter, then onWrite
  // sees the write's byte total.
  std::function<void(ConfiguredDevices&)> Opened(
      std::function<void(std::uint64_t)> onWrite = nullptr) {
    return [this, onWrite](ConfiguredDevices& devices) {
      if (!devices.Cutter()) return;
      SerialCutter& cutter = devices.Cutter()->Cutter();
      FollowPlotter(cutter, plotter);
      if (onWrite)
        cutter.SetWriteObserver([this, onWrite](std::uint64_t written) {
          plotter.WaitForBytes(written, 10000);
          onWrite(written);
        });
    };
  }

  std::size_t CutStrokes() const {
    std::size_t n = 0;
    for (const PlotterStroke& s : plotter.Strokes()) n += s.mode == kMoveCut;
    return n;
  }

  // The job ended with the knife up and the head at home.
  void ExpectKnifeUpAtHome() const {
    EXPECT_FALSE(plotter.KnifeDown());
    ASSERT_FALSE(plotter.Strokes().empty());
    const PlotterStroke last = plotter.Strokes().back();
    EXPECT_EQ(last.mode, kMoveTravel);
    EXPECT_NEAR(last.x, 0, 1);
    EXPECT_NEAR(last.y, 0, 1);
  }

  CutterProtocol protocol;
  ScratchFolder scratch;
  Scenario scenario;
  FakePlotter plotter;
  std::string out;
  std::string err;
};

// The dialect's name in a parameterised test's name.
inline std::string DialectName(const ::testing::TestParamInfo<CutterProtocol>& param) {
  return param.param == CutterProtocol::Hpgl ? "Hpgl" : "Grbl";
}

}  // namespace kx::test
