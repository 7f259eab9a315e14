// The open, port, head-position and close sequences every window that drives the cutter shares.
// Threads: bound to one thread (the window's).
#pragma once

#include "host/CutterDriver.h"

namespace kx {

// A head position in cutter units.
struct HeadPoint {
  int x = 0;
  int y = 0;
  bool operator==(const HeadPoint&) const = default;
};

// Port types for which the driver takes no port index: every query then uses port -2.
inline constexpr int kPortTypeNetwork = 9;
inline constexpr int kPortTypeSpooler = 13;
inline constexpr int kPortNoIndex = -2;

// Loads the driver, its pen and cut records, starts a job on job (zero-filled, owned by the
// caller until CloseDriver) and initialises the device with the pen's mode field set to 2.
// True when every call reported success; the sequence runs to its end either way.
bool OpenDriver(JOBDATA* job);

// The port index to query for the named port ("Port" of "Port Setup"): -2 for network and
// spooler ports, else the driver's index (-1 for an unknown name). A null name counts as "".
int ResolvePort(const char* portName);

// The live head position from the driver; (0, 0) when the driver gives nothing.
HeadPoint ReadHeadPosition(int port);

// Cutting power 0, end of the job, driver unloaded, cut statics reset.
void CloseDriver(JOBDATA* job);

}  // namespace kx
