// A simulated contour cutter on the clock.
#include "sim/SimCutter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Motion.h"
#include "platform/Clock.h"

namespace kx {

SimCutter::SimCutter(const WorldCutterOptions& opts, std::uint64_t seed)
    : m_opts(opts),
      m_ports{{"USB1", 1}, {"COM1", 2}, {"NET", kPortTypeNetwork}, {"SPOOL", 13}},
      m_rng(seed * 0x94D049BB133111EBULL + 3) {}

int SimCutter::DEV_Load() {
  Log("DEV_Load");
  return 1;
}

int SimCutter::DEV_LoadPenData(PENDATA* pen) {
  Log("DEV_LoadPenData");
  if (!pen) return 0;
  for (std::size_t i = 0; i < sizeof pen->bytes; ++i) pen->bytes[i] = static_cast<BYTE>(i * 7);
  return 1;
}

int SimCutter::LoadCutData(CUTDATA* cut) {
  Log("LoadCutData");
  if (!cut) return 0;
  std::memset(cut->bytes, 0x11, sizeof cut->bytes);
  return 1;
}

int SimCutter::SetPlotResolNew(int resolution, CUTDATA* cut) {
  Log("SetPlotResolNew " + std::to_string(resolution));
  return cut ? 1 : 0;
}

int SimCutter::StartPrinter(HWND window, int copies, JOBDATA* job) {
  Log(std::string("StartPrinter ") + (window ? "window " : "null ") + std::to_string(copies));
  return job ? 1 : 0;
}

int SimCutter::DEV_Initial(PENDATA pen, int a, int b) {
  std::int32_t mode = 0;
  std::memcpy(&mode, pen.bytes + kPenModeOffset, sizeof mode);
  Log("DEV_Initial " + std::to_string(mode) + " " + std::to_string(a) + " " + std::to_string(b));
  return 1;
}

int SimCutter::DEV_SendInfo(int code, std::int32_t* value) {
  const std::int32_t v = value ? *value : 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_values.push_back({code, v, Clock().NowMicros()});
  if (code == kDevCodeCutPower) m_power = v;
  return 1;
}

int SimCutter::EndPrinter(HWND window, JOBDATA* job) {
  Log(std::string("EndPrinter ") + (window ? "window" : "null"));
  return job ? 1 : 0;
}

int SimCutter::DEV_Unload() {
  Log("DEV_Unload");
  return 1;
}

void SimCutter::ResetCutStatics(int code) { Log("ResetCutStatics " + std::to_string(code)); }

int SimCutter::GetPortIndexFromName(const char* name) {
  if (!name) return -1;
  std::lock_guard<std::mutex> lock(m_mutex);
  for (std::size_t i = 0; i < m_ports.size(); ++i) {
    if (m_ports[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int SimCutter::GetWindowsPortTypeAndName(int index, int* type, char* name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (index < 0 || static_cast<std::size_t>(index) >= m_ports.size()) return 0;
  const PortEntry& p = m_ports[static_cast<std::size_t>(index)];
  if (type) *type = p.type;
  if (name) {
    const std::size_t n = std::min<std::size_t>(p.name.size(), 99);
    std::memcpy(name, p.name.data(), n);
    name[n] = '\0';
  }
  return 1;
}

int SimCutter::GetPlotterData(int port, int what, void* buffer) {
  if (what != kPlotterDataHeadPosition || !buffer) return 0;
  const std::int64_t now = Clock().NowMicros();
  std::lock_guard<std::mutex> lock(m_mutex);
  if (port != kPortNoIndex && (port < 0 || static_cast<std::size_t>(port) >= m_ports.size()))
    return 0;
  const cv::Point2d p = PositionAtLocked(now);
  std::int32_t xy[2] = {static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)};
  if (m_noise > 0 && now >= m_faultsFrom) {
    std::uniform_int_distribution<int> jitter(-m_noise, m_noise);
    xy[0] += jitter(m_rng);
    xy[1] += jitter(m_rng);
  }
  std::memcpy(buffer, xy, sizeof xy);
  return 1;
}

int SimCutter::sendxyNoW(long x, long y, int mode) {
  const std::int64_t now = Clock().NowMicros();
  std::lock_guard<std::mutex> lock(m_mutex);
  CutterMove m;
  m.mode = mode == kMoveCut ? kMoveCut : kMoveTravel;
  m.start = now;
  if (!m_moves.empty()) m.start = std::max(now, m_moves.back().end);
  m.from = m_moves.empty() ? m_rest : m_moves.back().to;
  // The carriage cannot leave the bed: a target past an edge stops at the edge.
  m.to = cv::Point2d(std::clamp<double>(static_cast<double>(x), 0.0, m_opts.bedWidth),
                     std::clamp<double>(static_cast<double>(y), 0.0, m_opts.bedHeight));
  if ((m_noMotion && now >= m_faultsFrom) || m_stalled) m.to = m.from;
  if (m_stallArmed && !m_stalled) {
    const cv::Point2d d = m.to - m.from;
    const double len2 = d.dot(d);
    const double t = len2 > 0 ? std::clamp((m_stallPoint - m.from).dot(d) / len2, 0.0, 1.0) : 0.0;
    const cv::Point2d closest = m.from + d * t;
    if (std::hypot(closest.x - m_stallPoint.x, closest.y - m_stallPoint.y) <= m_stallRadius) {
      m.to = closest;
      m_stalled = true;
    }
  }
  m.speed = m.mode == kMoveCut ? m_opts.cutSpeed : m_opts.travelSpeed;
  const double length = std::hypot(m.to.x - m.from.x, m.to.y - m.from.y);
  m.duration = MoveDuration(length, m.speed, m_opts.acceleration);
  m.end = m.start + static_cast<std::int64_t>(std::ceil(m.duration * 1e6));
  m_moves.push_back(m);
  if (m.mode == kMoveCut && length > 0) m_cuts.push_back({{m.from, m.to}, m.start, m.end, m_power});
  return 1;
}

cv::Point2d SimCutter::PositionAtLocked(std::int64_t micros) const {
  if (m_moves.empty() || micros <= m_moves.front().start)
    return m_moves.empty() ? m_rest : m_moves.front().from;
  // The last move that has started by micros.
  auto it = std::upper_bound(m_moves.begin(), m_moves.end(), micros,
                             [](std::int64_t t, const CutterMove& m) { return t < m.start; });
  const CutterMove& m = *(it - 1);
  if (micros >= m.end) return m.to;
  const double length = std::hypot(m.to.x - m.from.x, m.to.y - m.from.y);
  const double s = Travelled(length, m.speed, m_opts.acceleration, m.duration,
                             static_cast<double>(micros - m.start) * 1e-6);
  return length > 0 ? m.from + (m.to - m.from) * (s / length) : m.to;
}

cv::Point2d SimCutter::PositionAt(std::int64_t micros) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return PositionAtLocked(micros);
}

cv::Point2d SimCutter::Position() const { return PositionAt(Clock().NowMicros()); }

std::int64_t SimCutter::BusyUntil() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_moves.empty() ? 0 : m_moves.back().end;
}

bool SimCutter::TravellingAt(std::int64_t micros, std::int64_t horizon, double margin) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = std::upper_bound(m_moves.begin(), m_moves.end(), micros,
                             [](std::int64_t t, const CutterMove& m) { return t < m.start; });
  if (it == m_moves.begin() || micros >= (it - 1)->end) return false;
  // Moves queued before the one ahead ended follow on without a stop.
  auto last = it - 1;
  while (last + 1 != m_moves.end() && (last + 1)->start <= last->end) ++last;
  if (last->end <= micros + horizon) return false;
  const cv::Point2d p = PositionAtLocked(micros);
  return std::hypot(p.x - last->to.x, p.y - last->to.y) > margin;
}

std::vector<BedSegment> SimCutter::KnifeTrace(std::int64_t micros) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<BedSegment> out;
  for (const KnifeCut& c : m_cuts) {
    if (c.start >= micros) break;
    if (c.power <= 0) continue;
    if (c.end <= micros) {
      out.push_back(c.segment);
    } else {
      out.push_back({c.segment.a, PositionAtLocked(micros)});
    }
  }
  return out;
}

std::vector<KnifeCut> SimCutter::Cuts() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_cuts;
}

std::int32_t SimCutter::CutPower() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_power;
}

std::vector<CutterMove> SimCutter::Moves() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_moves;
}

std::vector<DeviceValueRecord> SimCutter::DeviceValues() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_values;
}

std::vector<std::string> SimCutter::CallLog() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_log;
}

void SimCutter::InjectStall(cv::Point2d point, double radius) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stallArmed = true;
  m_stalled = false;
  m_stallPoint = point;
  m_stallRadius = radius;
}

void SimCutter::SetNoMotion(bool on) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_noMotion = on;
}

void SimCutter::SetPositionNoise(int amplitude) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_noise = std::max(0, amplitude);
}

void SimCutter::SetFaultsFrom(std::int64_t micros) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faultsFrom = micros;
}

void SimCutter::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stallArmed = m_stalled = m_noMotion = false;
  m_noise = 0;
  m_faultsFrom = 0;
}

void SimCutter::SetPorts(std::vector<PortEntry> ports) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_ports = std::move(ports);
}

void SimCutter::Log(std::string entry) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_log.push_back(std::move(entry));
}

}  // namespace kx
