// The device settings that choose and describe the cutter: section "Port Setup" of device.ini.
// Threads: bound to one thread (reads the installed host's settings).
#pragma once

#include <memory>
#include <string>

#include "devices/SerialCutter.h"
#include "devices/VideoCamera.h"

namespace kx {

inline constexpr const char* kPortSetupSection = "Port Setup";

// What "Port Setup" asks for. A "Port" that is a path (it starts with '/') is a serial cutter;
// anything else ("sim", empty, a simulated port's name) is the simulated machine.
struct PortSetup {
  bool serial = false;
  SerialCutterOptions cutter;
  // "Camera" names a video source (index, device path, file or sequence); absent: the simulated
  // camera. "Camera Rotation" (0, 90, 180, 270) and "Camera Mirror" (0 or 1) turn its picture.
  bool camera = false;
  VideoCameraOptions video;
};

// Reads "Port Setup" through the installed host's device settings. Absent keys take their
// defaults; a key whose text cannot be read makes it false with *error naming the key, its text
// and what it may be (nothing is changed).
bool ReadPortSetup(PortSetup* setup, std::string* error);

// A serial cutter opened as "Port Setup" describes and installed as the cutter driver for the
// object's lifetime (the previous driver comes back after it). For a program that runs the
// module on the configured real devices.
class ConfiguredCutter {
 public:
  ~ConfiguredCutter();
  ConfiguredCutter(const ConfiguredCutter&) = delete;
  ConfiguredCutter& operator=(const ConfiguredCutter&) = delete;

  // Null when "Port Setup" names the simulated machine (*error empty) or when the settings or
  // the port are unusable (*error says why, naming the key or the port). dryRun sends every move
  // with the knife up.
  static std::unique_ptr<ConfiguredCutter> Open(bool dryRun, std::string* error);

  SerialCutter& Cutter() { return *m_cutter; }

 private:
  explicit ConfiguredCutter(std::unique_ptr<SerialCutter> cutter);
  std::unique_ptr<SerialCutter> m_cutter;
  ICutterDriver* m_previous;
};

// The real devices "Port Setup" names, opened and installed as the cutter driver and the camera
// for the object's lifetime (the previous ones come back after it); either may be absent, when
// the settings leave it to the simulated machine. The camera's frames run on its own thread and
// the stored camera values are applied to it, what could not be applied reported once.
class ConfiguredDevices {
 public:
  ~ConfiguredDevices();
  ConfiguredDevices(const ConfiguredDevices&) = delete;
  ConfiguredDevices& operator=(const ConfiguredDevices&) = delete;

  // Null with *error naming the key, the port or the camera when something cannot be read or
  // opened (nothing stays installed then). Reads the installed host's settings.
  static std::unique_ptr<ConfiguredDevices> Open(bool dryRun, std::string* error);

  // Null where the settings name no real device.
  ConfiguredCutter* Cutter() { return m_cutter.get(); }
  VideoCamera* Camera() { return m_camera.get(); }

 private:
  ConfiguredDevices() = default;
  std::unique_ptr<ConfiguredCutter> m_cutter;
  std::unique_ptr<VideoCamera> m_camera;
  ICamera* m_previousCamera = nullptr;
};

}  // namespace kx
