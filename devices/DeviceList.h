// The serial ports and cameras this computer shows, as "kestrix devices" lists them.
// Threads: reentrant.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kx {

struct DeviceEntry {
  std::string path;         // what to put in the settings: /dev/ttyUSB0, /dev/video0
  std::string description;  // what the system says about it, may be empty
};

// Serial ports backed by hardware (USB serial adapters, on-board ports with a device behind them),
// from sysfs under root (normally "/"), sorted by path.
std::vector<DeviceEntry> ListSerialPorts(const std::filesystem::path& root = "/");

// Video capture devices (V4L2) with their names, from sysfs under root, sorted by path.
std::vector<DeviceEntry> ListCameras(const std::filesystem::path& root = "/");

}  // namespace kx
