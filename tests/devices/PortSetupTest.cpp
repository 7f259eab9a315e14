// The "Port Setup" keys: defaults, every key read, and a bad key refused by name.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "common/Log.h"
#include "devices/FakePlotter.h"
#include "devices/PortSetup.h"
#include "host/Camera.h"
#include "host/Settings.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

using PortSetupKeys = HostTest;

TEST_F(PortSetupKeys, WithoutKeysTheMachineIsSimulatedWithTheSerialDefaults) {
  PortSetup setup;
  std::string error;
  ASSERT_TRUE(ReadPortSetup(&setup, &error)) << error;
  EXPECT_FALSE(setup.serial);
  EXPECT_EQ(setup.cutter.protocol, CutterProtocol::Hpgl);
  EXPECT_EQ(setup.cutter.port.baud, 9600);
  EXPECT_EQ(setup.cutter.port.flow, FlowControl::XonXoff);
  EXPECT_EQ(setup.cutter.unitsPerInch, 1016);
  WriteStringDevice(kPortSetupSection, "Port", "sim");
  ASSERT_TRUE(ReadPortSetup(&setup, &error)) << error;
  EXPECT_FALSE(setup.serial);
  std::unique_ptr<ConfiguredCutter> none = ConfiguredCutter::Open(false, &error);
  EXPECT_FALSE(none);
  EXPECT_TRUE(error.empty()) << error;
}

TEST_F(PortSetupKeys, EveryKeyIsRead) {
  WriteStringDevice(kPortSetupSection, "Port", "/dev/ttyUSB3");
  WriteStringDevice(kPortSetupSection, "Protocol", "grbl");
  WriteStringDevice(kPortSetupSection, "Baud", "115200");
  WriteStringDevice(kPortSetupSection, "Flow Control", "rts/cts");
  WriteStringDevice(kPortSetupSection, "Units Per Inch", "1000");
  WriteStringDevice(kPortSetupSection, "Bed Width", "30000");
  WriteStringDevice(kPortSetupSection, "Bed Height", "20000");
  WriteStringDevice(kPortSetupSection, "Travel Speed", "9000.5");
  WriteStringDevice(kPortSetupSection, "Cut Speed", "3000");
  WriteStringDevice(kPortSetupSection, "Acceleration", "15000");
  WriteStringDevice(kPortSetupSection, "Write Timeout", "750");
  WriteStringDevice(kPortSetupSection, "Reply Timeout", "1500");
  PortSetup setup;
  std::string error;
  ASSERT_TRUE(ReadPortSetup(&setup, &error)) << error;
  EXPECT_TRUE(setup.serial);
  EXPECT_EQ(setup.cutter.port.path, "/dev/ttyUSB3");
  EXPECT_EQ(setup.cutter.protocol, CutterProtocol::Grbl);
  EXPECT_EQ(setup.cutter.port.baud, 115200);
  EXPECT_EQ(setup.cutter.port.flow, FlowControl::RtsCts);
  EXPECT_EQ(setup.cutter.unitsPerInch, 1000);
  EXPECT_EQ(setup.cutter.bedWidth, 30000);
  EXPECT_EQ(setup.cutter.bedHeight, 20000);
  EXPECT_EQ(setup.cutter.travelSpeed, 9000.5);
  EXPECT_EQ(setup.cutter.cutSpeed, 3000);
  EXPECT_EQ(setup.cutter.acceleration, 15000);
  EXPECT_EQ(setup.cutter.port.writeTimeoutMs, 750);
  EXPECT_EQ(setup.cutter.replyTimeoutMs, 1500);
}

TEST_F(PortSetupKeys, ABadKeyIsRefusedByNameAndNothingIsChanged) {
  struct Case {
    const char* key;
    const char* text;
  };
  for (const Case& c :
       {Case{"Protocol", "gcode"}, Case{"Baud", "12345"}, Case{"Baud", "9600x"},
        Case{"Flow Control", "hardware"}, Case{"Units Per Inch", "0"}, Case{"Bed Width", "-5"},
        Case{"Travel Speed", "fast"}, Case{"Acceleration", "0"}, Case{"Write Timeout", "1"}}) {
    WriteStringDevice(kPortSetupSection, c.key, c.text);
    PortSetup setup;
    setup.cutter.bedWidth = 1234;
    std::string error;
    EXPECT_FALSE(ReadPortSetup(&setup, &error)) << c.key;
    EXPECT_NE(error.find(std::string("\"") + c.key + "\""), std::string::npos) << error;
    EXPECT_NE(error.find(c.text), std::string::npos) << error;
    EXPECT_EQ(setup.cutter.bedWidth, 1234) << "a refused read changed the setup";
    WriteStringDevice(kPortSetupSection, c.key, "");
  }
}

TEST_F(PortSetupKeys, APortThatCannotBeOpenedIsNamed) {
  WriteStringDevice(kPortSetupSection, "Port", "/nonexistent/ttyUSB9");
  std::string error;
  EXPECT_FALSE(ConfiguredCutter::Open(false, &error));
  EXPECT_NE(error.find("/nonexistent/ttyUSB9: cannot open the port"), std::string::npos) << error;
}

TEST_F(PortSetupKeys, ConfiguredDevicesAreInstalledForTheirLifetime) {
  FakePlotter plotter(CutterProtocol::Hpgl);
  std::string error;
  ASSERT_TRUE(plotter.Start(&error)) << error;
  cv::imwrite((m_scratch / "f000.png").string(), cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)));
  WriteStringDevice(kPortSetupSection, "Port", plotter.PortPath().c_str());
  WriteStringDevice(kPortSetupSection, "Camera", (m_scratch / "f%03d.png").string().c_str());
  WriteStringDevice(kPortSetupSection, "Camera Rotation", "270");
  ICutterDriver* const simDriver = CutterDriver();
  {
    ScopedLogCapture capture;
    std::unique_ptr<ConfiguredDevices> devices = ConfiguredDevices::Open(true, &error);
    ASSERT_TRUE(devices) << error;
    ASSERT_TRUE(devices->Cutter());
    ASSERT_TRUE(devices->Camera());
    EXPECT_EQ(CutterDriver(), &devices->Cutter()->Cutter());
    EXPECT_EQ(Camera(), devices->Camera());
    EXPECT_TRUE(devices->Cutter()->Cutter().Options().dryRun);
    // The replayed camera has none of the six controls: one line says so.
    EXPECT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(sendxyNoW(1000, 0, kMoveCut), 1);
    ASSERT_TRUE(plotter.WaitForBytes(devices->Cutter()->Cutter().BytesWritten(), 5000));
  }
  EXPECT_EQ(CutterDriver(), simDriver);
  EXPECT_EQ(Camera(), nullptr);
  // The dry run's cut went knife up, and closing lifted the knife once more.
  EXPECT_EQ(plotter.Received(), "PU1016,0;PU;");
}

TEST_F(PortSetupKeys, ABadCameraKeyIsRefusedByName) {
  WriteStringDevice(kPortSetupSection, "Camera Rotation", "45");
  PortSetup setup;
  std::string error;
  EXPECT_FALSE(ReadPortSetup(&setup, &error));
  EXPECT_NE(error.find("\"Camera Rotation\" of [Port Setup] is \"45\""), std::string::npos)
      << error;
  WriteStringDevice(kPortSetupSection, "Camera Rotation", "");
  WriteStringDevice(kPortSetupSection, "Camera", "/nonexistent/video7");
  EXPECT_FALSE(ConfiguredDevices::Open(false, &error));
  EXPECT_NE(error.find("/nonexistent/video7"), std::string::npos) << error;
  EXPECT_EQ(Camera(), nullptr);
}

}  // namespace
}  // namespace kx::test
