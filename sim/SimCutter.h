// A simulated contour cutter: bed, speeds, a command buffer, live head position on the clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "host/CutterDriver.h"
#include "host/DriverSession.h"
#include "sim/World.h"
#include "sim/WorldOptions.h"

namespace kx {

// One queued head move: straight from from to to, between start and end (clock microseconds).
struct CutterMove {
  cv::Point2d from;
  cv::Point2d to;
  std::int64_t start = 0;
  std::int64_t end = 0;
  double duration = 0;  // seconds
  double speed = 0;
  int mode = kMoveTravel;
};

// A driver value code as it was sent.
struct DeviceValueRecord {
  int code = 0;
  std::int32_t value = 0;
  std::int64_t time = 0;
};

// A knife-down segment with the time the knife started and finished it, and the cutting power
// (driver value code 29) in force when the move began: at 0 the knife marks nothing.
struct KnifeCut {
  BedSegment segment;
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::int32_t power = 0;
};

// The cutting power the simulated driver uses until it is sent value code 29: the pen's own.
inline constexpr std::int32_t kSimDefaultCutPower = 30;

struct PortEntry {
  std::string name;
  int type = 1;
};

// Thread-safe: the camera thread asks for positions while the window's thread sends moves.
// Time is the installed clock's (kx::Clock()).
class SimCutter final : public ICutterDriver {
 public:
  explicit SimCutter(const WorldCutterOptions& opts, std::uint64_t seed = 1);

  int DEV_Load() override;
  int DEV_LoadPenData(PENDATA* pen) override;
  int LoadCutData(CUTDATA* cut) override;
  int SetPlotResolNew(int resolution, CUTDATA* cut) override;
  int StartPrinter(HWND window, int copies, JOBDATA* job) override;
  int DEV_Initial(PENDATA pen, int a, int b) override;
  int DEV_SendInfo(int code, std::int32_t* value) override;
  int EndPrinter(HWND window, JOBDATA* job) override;
  int DEV_Unload() override;
  void ResetCutStatics(int code) override;
  int GetPortIndexFromName(const char* name) override;
  int GetWindowsPortTypeAndName(int index, int* type, char* name) override;
  // Port -2 or a known index, what 2: head x, y truncated toward zero (plus injected noise).
  int GetPlotterData(int port, int what, void* buffer) override;
  // Queues a move to (x, y), clamped to the bed; mode 1 cuts along it. Returns 1 at once.
  int sendxyNoW(long x, long y, int mode) override;

  // The true head position at a clock time (microseconds), exact, without noise.
  cv::Point2d PositionAt(std::int64_t micros) const;
  cv::Point2d Position() const;
  // When the last queued move ends; the head rests from then on.
  std::int64_t BusyUntil() const;
  // Whether the head is on its way at micros: moving then and still moving horizon microseconds
  // later, and more than margin units (straight line) from where its run of back-to-back moves
  // brings it to rest.
  bool TravellingAt(std::int64_t micros, std::int64_t horizon, double margin) const;
  // The marks the knife has left by micros: its cutting moves made with a power above 0, the one
  // under way as far as it has gone. This is what the camera and the bed pictures show.
  std::vector<BedSegment> KnifeTrace(std::int64_t micros) const;
  // Every knife-down move, with or without power.
  std::vector<KnifeCut> Cuts() const;
  // The cutting power now in force (value code 29, kSimDefaultCutPower before the first).
  std::int32_t CutPower() const;
  std::vector<CutterMove> Moves() const;
  std::vector<DeviceValueRecord> DeviceValues() const;
  // Driver calls other than moves and position reads, in order, e.g. "DEV_Initial 2 1 0".
  std::vector<std::string> CallLog() const;

  // Faults. A stall stops the head for good where a later move first comes within radius of
  // point; no motion ignores every move; noise adds up to amplitude units to each reading.
  void InjectStall(cv::Point2d point, double radius = 5.0);
  void SetNoMotion(bool on);
  void SetPositionNoise(int amplitude);
  // No motion and position noise take effect only from this clock time on (microseconds; 0 by
  // default, from the start).
  void SetFaultsFrom(std::int64_t micros);
  void ClearFaults();

  void SetPorts(std::vector<PortEntry> ports);
  const WorldCutterOptions& Options() const { return m_opts; }

 private:
  cv::Point2d PositionAtLocked(std::int64_t micros) const;
  void Log(std::string entry);

  WorldCutterOptions m_opts;
  mutable std::mutex m_mutex;
  std::vector<CutterMove> m_moves;
  cv::Point2d m_rest;  // where the head rests before the first move
  std::vector<KnifeCut> m_cuts;
  std::vector<DeviceValueRecord> m_values;
  std::int32_t m_power = kSimDefaultCutPower;
  std::vector<std::string> m_log;
  std::vector<PortEntry> m_ports;
  bool m_stallArmed = false;
  bool m_stalled = false;
  cv::Point2d m_stallPoint;
  double m_stallRadius = 0;
  bool m_noMotion = false;
  int m_noise = 0;
  std::int64_t m_faultsFrom = 0;
  std::mt19937_64 m_rng;
};

}  // namespace kx
