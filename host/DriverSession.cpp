// The open, port, head-position and close sequences every window that drives the cutter shares.
#include "host/DriverSession.h"

#include <cstdint>
#include <cstring>

namespace kx {

bool OpenDriver(JOBDATA* job) {
  PENDATA pen{};
  CUTDATA cut{};
  bool ok = DEV_Load() != 0;
  ok = DEV_LoadPenData(&pen) != 0 && ok;
  ok = LoadCutData(&cut) != 0 && ok;
  ok = SetPlotResolNew(0, &cut) != 0 && ok;
  ok = StartPrinter(nullptr, 1, job) != 0 && ok;
  const std::int32_t mode = 2;
  std::memcpy(pen.bytes + kPenModeOffset, &mode, sizeof mode);
  ok = DEV_Initial(pen, 1, 0) != 0 && ok;
  return ok;
}

int ResolvePort(const char* portName) {
  const int index = GetPortIndexFromName(portName ? portName : "");
  int type = 0;
  char name[100] = {};
  GetWindowsPortTypeAndName(index, &type, name);
  if (type == kPortTypeNetwork || type == kPortTypeSpooler) return kPortNoIndex;
  return index;
}

HeadPoint ReadHeadPosition(int port) {
  // Room to spare: a driver may report more than the two values asked for.
  std::int32_t buffer[16] = {};
  GetPlotterData(port, kPlotterDataHeadPosition, buffer);
  return HeadPoint{buffer[0], buffer[1]};
}

void CloseDriver(JOBDATA* job) {
  std::int32_t power = 0;
  DEV_SendInfo(kDevCodeCutPower, &power);
  EndPrinter(nullptr, job);
  DEV_Unload();
  ResetCutStatics(-666);
}

}  // namespace kx
