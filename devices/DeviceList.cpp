// The serial ports and cameras this computer shows.
#include "devices/DeviceList.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace kx {
namespace {

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

void SortByPath(std::vector<DeviceEntry>* entries) {
  std::sort(entries->begin(), entries->end(),
            [](const DeviceEntry& a, const DeviceEntry& b) { return a.path < b.path; });
}

}  // namespace

std::vector<DeviceEntry> ListSerialPorts(const std::filesystem::path& root) {
  std::vector<DeviceEntry> out;
  std::error_code ec;
  const std::filesystem::path classDir = root / "sys/class/tty";
  for (const auto& entry : std::filesystem::directory_iterator(classDir, ec)) {
    const std::string name = entry.path().filename().string();
    // Only ports with a device behind them: virtual terminals and ptys have none.
    if (!std::filesystem::exists(entry.path() / "device", ec)) continue;
    // On-board 8250 ports all exist; those without a UART report type 0.
    const std::string type = FirstLine(entry.path() / "type");
    if (name.rfind("ttyS", 0) == 0 && (type.empty() || type == "0")) continue;
    DeviceEntry e;
    e.path = "/dev/" + name;
    // The USB device that carries the port: one level up for ttyACM, two for ttyUSB.
    std::filesystem::path usb = entry.path() / "device/..";
    if (!std::filesystem::exists(usb / "product", ec)) usb = entry.path() / "device/../..";
    const std::string product = FirstLine(usb / "product");
    const std::string maker = FirstLine(usb / "manufacturer");
    e.description = maker.empty() ? product : (product.empty() ? maker : maker + " " + product);
    out.push_back(e);
  }
  SortByPath(&out);
  return out;
}

std::vector<DeviceEntry> ListCameras(const std::filesystem::path& root) {
  std::vector<DeviceEntry> out;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(root / "sys/class/video4linux", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("video", 0) != 0) continue;
    out.push_back({"/dev/" + name, FirstLine(entry.path() / "name")});
  }
  SortByPath(&out);
  return out;
}

}  // namespace kx
