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
  // The pseudo-terminal lives only as long as this run: the stored "Port" (the user's) stays, and
  // the stand-in cutter answers to it.
  char stored[100] = {};
  GetStringDeviceNull(kPortSetupSection, "Port", stored, sizeof stored);
  o.portName = std::string(stored);
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
  FollowPlotter(*loop->m_cutter, *loop->m_plotter);
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

void FollowPlotter(SerialCutter& cutter, FakePlotter& plotter) {
  FakePlotter* p = &plotter;
  cutter.SetWriteObserver([p](std::uint64_t written) {
    if (!p->WaitForBytes(written, 10000))
      Log(LogLevel::Error, LogCategory::Device,
          p->PortPath() + ": the fake plotter did not read what was sent within 10 s");
  });
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
