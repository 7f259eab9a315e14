// A whole simulated machine installed as the driver and the camera.
#include "sim/SimMachine.h"

#include "platform/Clock.h"
#include "sim/WorldImages.h"

namespace kx {

SimMachine::SimMachine(const WorldOptions& opts)
    : m_world(opts),
      m_cutter(opts.cutter, opts.seed),
      m_camera(m_world, m_cutter),
      m_previousDriver(CutterDriver()),
      m_previousCamera(Camera()) {
  // The faults count from the clock's present, where the machine starts.
  const std::int64_t start = Clock().NowMicros();
  const WorldFaultOptions& f = opts.faults;
  m_cutter.SetFaultsFrom(start + static_cast<std::int64_t>(f.fromSeconds * 1e6));
  m_cutter.SetNoMotion(f.noMotion);
  m_cutter.SetPositionNoise(f.positionNoise);
  if (f.stallX && f.stallY) m_cutter.InjectStall({*f.stallX, *f.stallY}, f.stallRadius);
  if (f.cameraStopsAt)
    m_camera.StopDeliveringAt(start + static_cast<std::int64_t>(*f.cameraStopsAt * 1e6));
  InstallCutterDriver(&m_cutter);
  InstallCamera(&m_camera);
  m_camera.Start();
}

SimMachine::~SimMachine() {
  m_camera.Stop();
  if (Camera() == &m_camera) InstallCamera(m_previousCamera);
  if (CutterDriver() == &m_cutter) InstallCutterDriver(m_previousDriver);
}

bool SimMachine::SaveBed(const std::string& path, double unitsPerPixel) const {
  const std::int64_t now = Clock().NowMicros();
  return SaveBedPng(m_world, m_cutter.KnifeTrace(now), m_cutter.PositionAt(now), path,
                    unitsPerPixel);
}

}  // namespace kx
