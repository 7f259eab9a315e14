// A contour cutter on a serial line behind the cutter driver interface: HPGL or GRBL G-code.
// Threads: thread-safe (the camera thread reads the head while the window's thread moves it).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devices/SerialPort.h"
#include "host/CutterDriver.h"

namespace kx {

enum class CutterProtocol { Hpgl, Grbl };

struct SerialCutterOptions {
  SerialSettings port;
  // The name the module looks the port up by, when it is not the port's path: a stand-in cutter
  // (the hardware-in-the-loop fake) answers to the "Port" the settings already hold, so they never
  // have to name a port that exists only while the program runs.
  std::optional<std::string> portName;
  CutterProtocol protocol = CutterProtocol::Hpgl;
  int unitsPerInch = 1016;  // HPGL plotter units per inch
  // The bed, cutter units: no target below 0 or beyond these is sent.
  int bedWidth = 24000;
  int bedHeight = 40000;
  // The head's motion, cutter units a second (squared). An HPGL cutter reports no position: the
  // driver answers from its moves at these speeds, so they must not be above the device's own.
  // GRBL feeds are these speeds too.
  double travelSpeed = 8000.0;
  double cutSpeed = 4000.0;
  double acceleration = 20000.0;
  // The longest wait for an answer ("ok", a status report), milliseconds.
  int replyTimeoutMs = 5000;
  // Every move is sent with the knife up, and no cutting power.
  bool dryRun = false;
};

// One cutter unit is a thousandth of an inch.
inline constexpr int kCutterUnitsPerInch = 1000;

// The driver. Open the port with Connect before the module opens the driver; the open sequence
// (StartPrinter) then initialises the device, and the close sequence (EndPrinter) lifts the knife
// and sends the head home; the port stays open until the driver is destroyed. After any failure (a
// write that timed out, a lost port, a refused reply) the driver has lifted the knife where it
// still could, keeps the message (LastError) and refuses every further move.
//
// HPGL: "IN;" at StartPrinter, "PU x,y;" and "PD x,y;" per move in plotter units
// (round(units * unitsPerInch / 1000)), "PU;" when a cut ends (value code 30 back to 2),
// "PU0,0;" at EndPrinter. The head position is the kinematic model's: every move starts when it
// was sent or when the move before ends, and runs at the set speed and acceleration.
//
// GRBL: "G21", "G90" and "M5" at StartPrinter; "M3" before the first cut move, "M5" before a
// travel after cutting, "G0 X.. Y.." travel and "G1 X.. Y.. F.." cuts in millimetres with three
// decimals; each line waits for "ok". The head position is the status report's ('?'), MPos or
// WPos, rounded to the nearest cutter unit.
class SerialCutter final : public ICutterDriver {
 public:
  explicit SerialCutter(SerialCutterOptions options);
  ~SerialCutter() override;
  SerialCutter(const SerialCutter&) = delete;
  SerialCutter& operator=(const SerialCutter&) = delete;

  // Opens the port and, until the driver is destroyed, has SIGINT and SIGTERM lift the knife
  // (InstallKnifeUpOnSignals). False with *error naming the port when it cannot be opened.
  bool Connect(std::string* error);

  int DEV_Load() override;
  int DEV_LoadPenData(PENDATA* pen) override;
  int LoadCutData(CUTDATA* cut) override;
  int SetPlotResolNew(int resolution, CUTDATA* cut) override;
  int StartPrinter(HWND window, int copies, JOBDATA* job) override;
  int DEV_Initial(PENDATA pen, int a, int b) override;
  // Code 29 (cutting power) and 30 (cut state) are recorded; code 30 set to 2 after a cut lifts
  // the knife.
  int DEV_SendInfo(int code, std::int32_t* value) override;
  // Knife up, head home, output drained.
  int EndPrinter(HWND window, JOBDATA* job) override;
  int DEV_Unload() override;
  void ResetCutStatics(int code) override;
  // The configured port's path (or portName, when given) is index 0; any other name is unknown
  // (-1).
  int GetPortIndexFromName(const char* name) override;
  int GetWindowsPortTypeAndName(int index, int* type, char* name) override;
  int GetPlotterData(int port, int what, void* buffer) override;
  // Refuses (0) a target off the bed, and every move after a failure. Blocks only for the write
  // (and for GRBL the line's "ok").
  int sendxyNoW(long x, long y, int mode) override;

  // Lifts the knife now, wherever the head is (Stop, an error, the end of a program).
  void KnifeUp();
  // The message of the failure that ended the job; empty while nothing failed.
  std::string LastError() const;
  bool Failed() const;
  // Value codes as sent, in order.
  std::vector<std::pair<int, std::int32_t>> DeviceValues() const;
  const SerialCutterOptions& Options() const { return m_opts; }
  // Bytes written to the port since it was opened.
  std::uint64_t BytesWritten() const;
  // Called after every write with the total bytes written, on the writing thread (the
  // hardware-in-the-loop harness waits there until its fake plotter has read them).
  void SetWriteObserver(std::function<void(std::uint64_t)> observer);

 private:
  struct Move {
    double fromX, fromY, toX, toY;
    std::int64_t start, end;  // clock microseconds
    double speed, duration;
  };
  bool SendLocked(const std::string& text);
  bool LineLocked(const std::string& line);
  void FailLocked(const std::string& message);
  void KnifeUpLocked();
  bool ReadPositionLocked(std::int32_t xy[2]);
  void ModelPositionLocked(std::int64_t now, double* x, double* y);
  std::string PlotterXY(long x, long y) const;

  SerialCutterOptions m_opts;
  mutable std::mutex m_mutex;
  SerialPort m_port;
  bool m_failed = false;
  std::string m_error;
  bool m_knifeDown = false;
  std::vector<Move> m_moves;
  double m_restX = 0, m_restY = 0;
  std::vector<std::pair<int, std::int32_t>> m_values;
  std::function<void(std::uint64_t)> m_observer;
};

// The bytes that lift the knife of a cutter speaking this protocol, whatever it was doing: a
// leading ';' ends an HPGL command a signal may have cut short; GRBL gets a feed hold and a soft
// reset, which stops the spindle output that holds the knife down.
std::string KnifeUpBytes(CutterProtocol protocol);

// While installed, SIGINT and SIGTERM write the knife-up bytes to the driver's port (fd) and then
// end the program as the signal would have. The last driver installed is the one served;
// uninstalling another driver's fd changes nothing.
void InstallKnifeUpOnSignals(const SerialCutter* cutter, int fd);
void UninstallKnifeUpOnSignals(int fd);

}  // namespace kx
