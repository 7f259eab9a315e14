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
