// A whole simulated machine: world, cutter and camera, installed as the driver and the camera.
// Threads: thread-safe, as its cutter and camera are.
#pragma once

#include <string>

#include "sim/SimCamera.h"
#include "sim/SimCutter.h"
#include "sim/World.h"

namespace kx {

// Installs its cutter as the cutter driver and its camera as the camera for its lifetime, and
// starts the camera on the clock installed at construction (install a virtual clock first to run
// on virtual time). Restores the previous driver and camera when destroyed.
class SimMachine {
 public:
  explicit SimMachine(const WorldOptions& opts);
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  const World& GetWorld() const { return m_world; }
  SimCutter& Cutter() { return m_cutter; }
  const SimCutter& Cutter() const { return m_cutter; }
  SimCamera& Cam() { return m_camera; }

  // A picture of the bed now (see SaveBedPng).
  bool SaveBed(const std::string& path, double unitsPerPixel = 50.0) const;

 private:
  World m_world;
  SimCutter m_cutter;
  SimCamera m_camera;
  ICutterDriver* m_previousDriver;
  ICamera* m_previousCamera;
};

}  // namespace kx
