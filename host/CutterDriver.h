// The cutter driver as the module calls it: open and close, port, head position, moves, values.
// Threads: thread-safe (the camera thread reads the head while the window's thread moves it).
#pragma once

#include <cstdint>

#include "common/WinTypes.h"

// The driver's records. Their layouts are the driver's own; the module only fills and hands them.
struct PENDATA {
  BYTE bytes[464];
};
static_assert(sizeof(PENDATA) == 464);
// Byte offset of the 32-bit field that the open sequence sets to 2 before DEV_Initial.
inline constexpr int kPenModeOffset = 384;

struct CUTDATA {
  BYTE bytes[256];
};

// The job record a window that opens the driver owns, zero-filled, for its lifetime.
struct JOBDATA {
  BYTE bytes[512];
};

// Driver value codes.
inline constexpr int kDevCodeCutPower = 29;
inline constexpr int kDevCodeCutState = 30;
// GetPlotterData query for the head position: two signed 32-bit values, x then y.
inline constexpr int kPlotterDataHeadPosition = 2;
// sendxyNoW modes.
inline constexpr int kMoveTravel = 0;
inline constexpr int kMoveCut = 1;

namespace kx {

// What a cutter driver offers. Positions are cutter units, x right and y up from the origin.
// Every call returns at once; GetPlotterData reports the live position while the head moves.
class ICutterDriver {
 public:
  virtual ~ICutterDriver() = default;
  virtual int DEV_Load() = 0;
  virtual int DEV_LoadPenData(PENDATA* pen) = 0;
  virtual int LoadCutData(CUTDATA* cut) = 0;
  virtual int SetPlotResolNew(int resolution, CUTDATA* cut) = 0;
  virtual int StartPrinter(HWND window, int copies, JOBDATA* job) = 0;
  virtual int DEV_Initial(PENDATA pen, int a, int b) = 0;
  virtual int DEV_SendInfo(int code, std::int32_t* value) = 0;
  virtual int EndPrinter(HWND window, JOBDATA* job) = 0;
  virtual int DEV_Unload() = 0;
  virtual void ResetCutStatics(int code) = 0;
  // Index of a port by name, -1 when unknown.
  virtual int GetPortIndexFromName(const char* name) = 0;
  // Type and name (at most 100 bytes with the terminator) of the port with this index.
  virtual int GetWindowsPortTypeAndName(int index, int* type, char* name) = 0;
  // what = 2: buffer receives head x and y as two signed 32-bit values.
  virtual int GetPlotterData(int port, int what, void* buffer) = 0;
  // Absolute move to (x, y), never negative; mode 1 cuts along the move. Returns at once.
  virtual int sendxyNoW(long x, long y, int mode) = 0;
};

// The installed driver; null when none is installed (calls then do nothing and return 0).
ICutterDriver* CutterDriver();
void InstallCutterDriver(ICutterDriver* driver);

}  // namespace kx

// The call surface, with the driver's own names, forwarding to the installed driver.
int DEV_Load();
int DEV_LoadPenData(PENDATA* pen);
int LoadCutData(CUTDATA* cut);
int SetPlotResolNew(int resolution, CUTDATA* cut);
int StartPrinter(HWND window, int copies, JOBDATA* job);
int DEV_Initial(PENDATA pen, int a, int b);
int DEV_SendInfo(int code, std::int32_t* value);
int EndPrinter(HWND window, JOBDATA* job);
int DEV_Unload();
void ResetCutStatics(int code);
int GetPortIndexFromName(const char* name);
int GetWindowsPortTypeAndName(int index, int* type, char* name);
int GetPlotterData(int port, int what, void* buffer);
int sendxyNoW(long x, long y, int mode);
