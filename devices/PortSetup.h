// The device settings that choose and describe the cutter: section "Port Setup" of device.ini.
// Threads: bound to one thread (reads the installed host's settings).
#pragma once

#include <memory>
#include <string>

#include "devices/SerialCutter.h"

namespace kx {

inline constexpr const char* kPortSetupSection = "Port Setup";

// What "Port Setup" asks for. A "Port" that is a path (it starts with '/') is a serial cutter;
// anything else ("sim", empty, a simulated port's name) is the simulated machine.
struct PortSetup {
  bool serial = false;
  SerialCutterOptions cutter;
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

}  // namespace kx
