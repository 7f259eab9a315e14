// The device settings that choose and describe the cutter.
#include "devices/PortSetup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "host/Settings.h"

namespace kx {
namespace {

std::string Key(const char* key) {
  char buffer[100] = {};
  GetStringDeviceNull(kPortSetupSection, key, buffer, sizeof buffer);
  std::string text = buffer;
  const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), space));
  text.erase(std::find_if_not(text.rbegin(), text.rend(), space).base(), text.end());
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Problem(const char* key, const std::string& text, const std::string& expected) {
  return std::string("device setting \"") + key + "\" of [" + kPortSetupSection + "] is \"" + text +
         "\"; it must be " + expected;
}

// An integer key within [low, high]; absent keeps *value.
bool IntKey(const char* key, long low, long high, int* value, std::string* error) {
  const std::string text = Key(key);
  if (text.empty()) return true;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) {
    *error = Problem(key, text,
                     "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
  }
  *value = static_cast<int>(v);
  return true;
}

// A positive number key (speeds); absent keeps *value.
bool PositiveKey(const char* key, double* value, std::string* error) {
  const std::string text = Key(key);
  if (text.empty()) return true;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(v > 0) || v > 1e7) {
    *error = Problem(key, text, "a number above 0 (cutter units a second)");
    return false;
  }
  *value = v;
  return true;
}

}  // namespace

bool ReadPortSetup(PortSetup* setup, std::string* error) {
  PortSetup read;
  const std::string port = Key("Port");
  read.serial = !port.empty() && port.front() == '/';
  read.cutter.port.path = port;

  const std::string protocol = Upper(Key("Protocol"));
  if (protocol == "GRBL") {
    read.cutter.protocol = CutterProtocol::Grbl;
  } else if (!protocol.empty() && protocol != "HPGL") {
    *error = Problem("Protocol", Key("Protocol"), "HPGL or GRBL");
    return false;
  }
  const std::string flow = Upper(Key("Flow Control"));
  if (flow == "NONE") {
    read.cutter.port.flow = FlowControl::None;
  } else if (flow == "RTS/CTS") {
    read.cutter.port.flow = FlowControl::RtsCts;
  } else if (!flow.empty() && flow != "XON/XOFF") {
    *error = Problem("Flow Control", Key("Flow Control"), "XON/XOFF, RTS/CTS or none");
    return false;
  }
  if (!IntKey("Baud", 1200, 230400, &read.cutter.port.baud, error)) return false;
  if (!IsSupportedBaud(read.cutter.port.baud)) {
    *error = Problem("Baud", Key("Baud"),
                     "one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400");
    return false;
  }
  if (!IntKey("Units Per Inch", 1, 100000, &read.cutter.unitsPerInch, error) ||
      !IntKey("Bed Width", 1, 10000000, &read.cutter.bedWidth, error) ||
      !IntKey("Bed Height", 1, 10000000, &read.cutter.bedHeight, error) ||
      !IntKey("Write Timeout", 10, 600000, &read.cutter.port.writeTimeoutMs, error) ||
      !IntKey("Reply Timeout", 10, 600000, &read.cutter.replyTimeoutMs, error) ||
      !PositiveKey("Travel Speed", &read.cutter.travelSpeed, error) ||
      !PositiveKey("Cut Speed", &read.cutter.cutSpeed, error) ||
      !PositiveKey("Acceleration", &read.cutter.acceleration, error))
    return false;
  read.video.source = Key("Camera");
  read.camera = !read.video.source.empty();
  int mirror = 0;
  if (!IntKey("Camera Rotation", 0, 270, &read.video.rotation, error) ||
      !IntKey("Camera Mirror", 0, 1, &mirror, error))
    return false;
  if (read.video.rotation % 90 != 0) {
    *error = Problem("Camera Rotation", Key("Camera Rotation"), "0, 90, 180 or 270");
    return false;
  }
  read.video.mirror = mirror != 0;
  *setup = read;
  return true;
}

ConfiguredCutter::ConfiguredCutter(std::unique_ptr<SerialCutter> cutter)
    : m_cutter(std::move(cutter)), m_previous(CutterDriver()) {
  InstallCutterDriver(m_cutter.get());
}

ConfiguredCutter::~ConfiguredCutter() {
  m_cutter->KnifeUp();
  InstallCutterDriver(m_previous);
}

std::unique_ptr<ConfiguredCutter> ConfiguredCutter::Open(bool dryRun, std::string* error) {
  error->clear();
  PortSetup setup;
  if (!ReadPortSetup(&setup, error) || !setup.serial) return nullptr;
  setup.cutter.dryRun = dryRun;
  auto cutter = std::make_unique<SerialCutter>(setup.cutter);
  if (!cutter->Connect(error)) return nullptr;
  return std::unique_ptr<ConfiguredCutter>(new ConfiguredCutter(std::move(cutter)));
}

std::unique_ptr<ConfiguredDevices> ConfiguredDevices::Open(bool dryRun, std::string* error) {
  error->clear();
  PortSetup setup;
  if (!ReadPortSetup(&setup, error)) return nullptr;
  std::unique_ptr<ConfiguredDevices> devices(new ConfiguredDevices);
  if (setup.camera) {
    auto camera = std::make_unique<VideoCamera>(setup.video);
    if (!camera->Open(error)) return nullptr;
    camera->Apply(StoredCameraValues());
    devices->m_previousCamera = kx::Camera();
    devices->m_camera = std::move(camera);
    InstallCamera(devices->m_camera.get());
    devices->m_camera->Start();
  }
  if (setup.serial) {
    devices->m_cutter = ConfiguredCutter::Open(dryRun, error);
    if (!devices->m_cutter) return nullptr;
  }
  return devices;
}

ConfiguredDevices::~ConfiguredDevices() {
  m_cutter.reset();
  if (m_camera) {
    m_camera->Stop();
    InstallCamera(m_previousCamera);
  }
}

}  // namespace kx
