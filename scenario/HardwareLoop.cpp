// The hardware-in-the-loop machine.
#include "scenario/HardwareLoop.h"

#include <algorithm>
#include <cctype>

#include "common/Log.h"
#include "devices/PortSetup.h"
#include "host/Settings.h"

namespace kx {

std::unique_ptr<HardwareLoop> HardwareLoop::Start(Scenario& scenario, CutterProtocol protocol,
                                                  std::string* error, bool dryRun) {
  std::unique_ptr<HardwareLoop> loop(new HardwareLoop);
  SimCutter& sim = scenario.Machine().Cutter();
  loop->m_plotter = std::make_unique<FakePlotter>(protocol, 1016, &sim);
  if (!loop->m_plotter->Start(error)) return nullptr;
  SerialCutterOptions o;
  o.port.path = loop->m_plotter->PortPath();
  o.protocol = protocol;
  o.dryRun = dryRun;
  const WorldCutterOptions& w = sim.Options();
  o.bedWidth = w.bedWidth;
  o.bedHeight = w.bedHeight;
  o.travelSpeed = w.travelSpeed;
  o.cutSpeed = w.cutSpeed;
  o.acceleration = w.acceleration;
  loop->m_cutter = std::make_unique<SerialCutter>(o);
  if (!loop->m_cutter->Connect(error)) return nullptr;
  FakePlotter* plotter = loop->m_plotter.get();
  loop->m_cutter->SetWriteObserver([plotter](std::uint64_t written) {
    if (!plotter->WaitForBytes(written, 10000))
      Log(LogLevel::Error, LogCategory::Device,
          plotter->PortPath() + ": the fake plotter did not read what was sent within 10 s");
  });
  WriteStringDevice(kPortSetupSection, "Port", o.port.path.c_str());
  WriteStringDevice(kPortSetupSection, "Protocol",
                    protocol == CutterProtocol::Hpgl ? "HPGL" : "GRBL");
  loop->m_previous = CutterDriver();
  InstallCutterDriver(loop->m_cutter.get());
  return loop;
}

HardwareLoop::~HardwareLoop() {
  if (m_cutter) {
    m_cutter->KnifeUp();
    if (CutterDriver() == m_cutter.get()) InstallCutterDriver(m_previous);
    m_cutter->SetWriteObserver(nullptr);
  }
  m_cutter.reset();
  m_plotter.reset();
}

bool ParseProtocol(const std::string& text, CutterProtocol* protocol) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "hpgl") {
    *protocol = CutterProtocol::Hpgl;
  } else if (lower == "grbl") {
    *protocol = CutterProtocol::Grbl;
  } else {
    return false;
  }
  return true;
}

}  // namespace kx
