// The "Port Setup" keys: defaults, every key read, and a bad key refused by name.
#include <gtest/gtest.h>

#include "devices/PortSetup.h"
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
  for (const Case& c : {Case{"Protocol", "gcode"}, Case{"Baud", "12345"}, Case{"Baud", "9600x"},
                        Case{"Flow Control", "hardware"}, Case{"Units Per Inch", "0"},
                        Case{"Bed Width", "-5"}, Case{"Travel Speed", "fast"},
                        Case{"Acceleration", "0"}, Case{"Write Timeout", "1"}}) {
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

}  // namespace
}  // namespace kx::test
