// A contour cutter on a serial line: HPGL or GRBL G-code.
#include "devices/SerialCutter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "common/Log.h"
#include "common/Motion.h"
#include "host/DriverSession.h"
#include "platform/Clock.h"

namespace kx {
namespace {

constexpr double kMmPerCutterUnit = 25.4 / kCutterUnitsPerInch;

std::string Millimetres(double units) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", units * kMmPerCutterUnit);
  return text;
}

// The value after key (e.g. "MPos:") in a GRBL status report, x then y; false when absent.
bool ReportXY(const std::string& report, const char* key, double* x, double* y) {
  const std::size_t at = report.find(key);
  if (at == std::string::npos) return false;
  return std::sscanf(report.c_str() + at + std::strlen(key), "%lf,%lf", x, y) == 2;
}

}  // namespace

SerialCutter::SerialCutter(SerialCutterOptions options) : m_opts(std::move(options)) {}

SerialCutter::~SerialCutter() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_port.IsOpen() && m_knifeDown) KnifeUpLocked();
  if (m_port.IsOpen()) UninstallKnifeUpOnSignals(m_port.Fd());
}

bool SerialCutter::Connect(std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_failed = false;
  m_error.clear();
  if (!m_port.Open(m_opts.port, error)) return false;
  // From here on a Ctrl-C must not leave the knife in the material.
  InstallKnifeUpOnSignals(this, m_port.Fd());
  return true;
}

void SerialCutter::FailLocked(const std::string& message) {
  if (m_failed) return;
  m_failed = true;
  m_error = message;
  kx::Log(LogLevel::Error, LogCategory::Device, message);
  // The knife goes up if the port still takes bytes; a lost port takes nothing.
  if (m_knifeDown && !m_port.Lost()) {
    std::string ignored;
    m_port.Write(KnifeUpBytes(m_opts.protocol), &ignored);
  }
  m_knifeDown = false;
}

bool SerialCutter::SendLocked(const std::string& text) {
  if (m_failed) return false;
  std::string error;
  if (!m_port.Write(text, &error)) {
    FailLocked(error);
    return false;
  }
  if (m_observer) m_observer(m_port.BytesWritten());
  return true;
}

bool SerialCutter::LineLocked(const std::string& line) {
  if (!SendLocked(line + "\n")) return false;
  for (;;) {
    std::string reply;
    std::string error;
    if (!m_port.ReadLine(&reply, m_opts.replyTimeoutMs, &error)) {
      FailLocked(error + " (after \"" + line + "\")");
      return false;
    }
    if (reply == "ok") return true;
    if (reply.rfind("error", 0) == 0 || reply.rfind("ALARM", 0) == 0) {
      FailLocked(m_opts.port.path + ": the cutter answered \"" + reply + "\" to \"" + line + "\"");
      return false;
    }
    // Anything else (a banner, a message in brackets, a late status report) is not the answer.
  }
}

void SerialCutter::KnifeUpLocked() {
  if (m_failed || !m_port.IsOpen()) return;
  if (m_opts.protocol == CutterProtocol::Hpgl) {
    SendLocked("PU;");
  } else {
    LineLocked("M5");
  }
  m_knifeDown = false;
}

void SerialCutter::KnifeUp() {
  std::lock_guard<std::mutex> lock(m_mutex);
  KnifeUpLocked();
}

std::string SerialCutter::PlotterXY(long x, long y) const {
  // Rounded to the nearest plotter unit: truncating would pull every point half a unit toward 0.
  const auto plot = [this](long v) {
    return (static_cast<long long>(v) * m_opts.unitsPerInch + kCutterUnitsPerInch / 2) /
           kCutterUnitsPerInch;
  };
  return std::to_string(plot(x)) + "," + std::to_string(plot(y));
}

int SerialCutter::DEV_Load() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_port.IsOpen()) {
    FailLocked(m_opts.port.path + ": the port is not open");
    return 0;
  }
  return m_failed ? 0 : 1;
}

int SerialCutter::DEV_LoadPenData(PENDATA* pen) {
  if (!pen) return 0;
  std::memset(pen->bytes, 0, sizeof pen->bytes);
  return 1;
}

int SerialCutter::LoadCutData(CUTDATA* cut) {
  if (!cut) return 0;
  std::memset(cut->bytes, 0, sizeof cut->bytes);
  return 1;
}

int SerialCutter::SetPlotResolNew(int, CUTDATA* cut) { return cut ? 1 : 0; }

int SerialCutter::StartPrinter(HWND, int, JOBDATA* job) {
  if (!job) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_opts.protocol == CutterProtocol::Hpgl) return SendLocked("IN;") ? 1 : 0;
  m_port.DiscardInput();
  return LineLocked("G21") && LineLocked("G90") && LineLocked("M5") ? 1 : 0;
}

int SerialCutter::DEV_Initial(PENDATA, int, int) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failed ? 0 : 1;
}

int SerialCutter::DEV_SendInfo(int code, std::int32_t* value) {
  const std::int32_t v = value ? *value : 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_values.emplace_back(code, v);
  if (code == kDevCodeCutState && v != 0 && m_knifeDown) KnifeUpLocked();
  return m_failed ? 0 : 1;
}

int SerialCutter::EndPrinter(HWND, JOBDATA* job) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_failed || !m_port.IsOpen()) return 0;
  bool ok = false;
  if (m_opts.protocol == CutterProtocol::Hpgl) {
    ok = SendLocked("PU0,0;");
  } else {
    ok = LineLocked("M5") && LineLocked("G0 X0.000 Y0.000");
  }
  m_knifeDown = false;
  std::string error;
  if (ok && !m_port.Drain(m_opts.port.writeTimeoutMs, &error)) {
    FailLocked(error);
    ok = false;
  }
  return ok && job ? 1 : 0;
}

int SerialCutter::DEV_Unload() { return 1; }

void SerialCutter::ResetCutStatics(int) {}

int SerialCutter::GetPortIndexFromName(const char* name) {
  if (!name) return -1;
  if (m_opts.portName) return *m_opts.portName == name ? 0 : -1;
  return m_opts.port.path == name ? 0 : -1;
}

int SerialCutter::GetWindowsPortTypeAndName(int index, int* type, char* name) {
  if (index != 0) return 0;
  if (type) *type = 1;
  if (name) {
    const std::string& shown = m_opts.portName ? *m_opts.portName : m_opts.port.path;
    const std::size_t n = std::min<std::size_t>(shown.size(), 99);
    std::memcpy(name, shown.data(), n);
    name[n] = '\0';
  }
  return 1;
}

void SerialCutter::ModelPositionLocked(std::int64_t now, double* x, double* y) {
  // Moves that ended before now no longer matter: the last of them gives the rest point.
  while (m_moves.size() > 1 && m_moves[1].start <= now) m_moves.erase(m_moves.begin());
  if (m_moves.empty() || now <= m_moves.front().start) {
    *x = m_moves.empty() ? m_restX : m_moves.front().fromX;
    *y = m_moves.empty() ? m_restY : m_moves.front().fromY;
    return;
  }
  const Move& m = m_moves.front();
  if (now >= m.end) {
    *x = m.toX;
    *y = m.toY;
    return;
  }
  const double length = std::hypot(m.toX - m.fromX, m.toY - m.fromY);
  const double s = Travelled(length, m.speed, m_opts.acceleration, m.duration,
                             static_cast<double>(now - m.start) * 1e-6);
  *x = m.fromX + (m.toX - m.fromX) * (s / length);
  *y = m.fromY + (m.toY - m.fromY) * (s / length);
}

bool SerialCutter::ReadPositionLocked(std::int32_t xy[2]) {
  if (m_opts.protocol == CutterProtocol::Hpgl) {
    double x = 0, y = 0;
    ModelPositionLocked(Clock().NowMicros(), &x, &y);
    xy[0] = static_cast<std::int32_t>(x);
    xy[1] = static_cast<std::int32_t>(y);
    return true;
  }
  if (!SendLocked("?")) return false;
  for (;;) {
    std::string reply;
    std::string error;
    if (!m_port.ReadLine(&reply, m_opts.replyTimeoutMs, &error)) {
      FailLocked(error + " (after a status request)");
      return false;
    }
    if (reply.empty() || reply.front() != '<') continue;
    double x = 0, y = 0;
    if (!ReportXY(reply, "MPos:", &x, &y) && !ReportXY(reply, "WPos:", &x, &y)) {
      FailLocked(m_opts.port.path + ": a status report without a position: \"" + reply + "\"");
      return false;
    }
    xy[0] = static_cast<std::int32_t>(std::lround(x / kMmPerCutterUnit));
    xy[1] = static_cast<std::int32_t>(std::lround(y / kMmPerCutterUnit));
    return true;
  }
}

int SerialCutter::GetPlotterData(int port, int what, void* buffer) {
  if (what != kPlotterDataHeadPosition || !buffer || (port != 0 && port != kPortNoIndex)) return 0;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_failed) return 0;
  std::int32_t xy[2] = {0, 0};
  if (!ReadPositionLocked(xy)) return 0;
  std::memcpy(buffer, xy, sizeof xy);
  return 1;
}

int SerialCutter::sendxyNoW(long x, long y, int mode) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_failed) return 0;
  if (x < 0 || y < 0 || x > m_opts.bedWidth || y > m_opts.bedHeight) {
    kx::Log(LogLevel::Error, LogCategory::Device,
            m_opts.port.path + ": move to (" + std::to_string(x) + ", " + std::to_string(y) +
                ") refused: off the bed (0 to " + std::to_string(m_opts.bedWidth) + ", 0 to " +
                std::to_string(m_opts.bedHeight) + ")");
    if (m_knifeDown) KnifeUpLocked();
    return 0;
  }
  const bool cut = mode == kMoveCut && !m_opts.dryRun;
  bool sent = false;
  if (m_opts.protocol == CutterProtocol::Hpgl) {
    sent = SendLocked((cut ? "PD" : "PU") + PlotterXY(x, y) + ";");
  } else {
    sent = true;
    if (cut != m_knifeDown) sent = LineLocked(cut ? "M3" : "M5");
    const double feed = (cut ? m_opts.cutSpeed : m_opts.travelSpeed) * kMmPerCutterUnit * 60.0;
    char f[32];
    std::snprintf(f, sizeof f, " F%.0f", feed);
    sent = sent && LineLocked(std::string(cut ? "G1" : "G0") + " X" + Millimetres(x) + " Y" +
                              Millimetres(y) + (cut ? f : ""));
  }
  if (!sent) return 0;
  m_knifeDown = cut;
  // The kinematic model follows every move; GRBL reports its own position instead.
  const std::int64_t now = Clock().NowMicros();
  Move m{};
  double fx = m_restX, fy = m_restY;
  if (!m_moves.empty()) {
    fx = m_moves.back().toX;
    fy = m_moves.back().toY;
  }
  m.fromX = fx;
  m.fromY = fy;
  m.toX = static_cast<double>(x);
  m.toY = static_cast<double>(y);
  m.start = m_moves.empty() ? now : std::max(now, m_moves.back().end);
  m.speed = cut ? m_opts.cutSpeed : m_opts.travelSpeed;
  m.duration =
      MoveDuration(std::hypot(m.toX - m.fromX, m.toY - m.fromY), m.speed, m_opts.acceleration);
  m.end = m.start + static_cast<std::int64_t>(std::ceil(m.duration * 1e6));
  if (m_moves.empty() || now >= m_moves.back().end) {
    m_moves.clear();
    m_restX = fx;
    m_restY = fy;
  }
  m_moves.push_back(m);
  return 1;
}

std::string SerialCutter::LastError() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_error;
}

std::uint64_t SerialCutter::BytesWritten() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_port.BytesWritten();
}

bool SerialCutter::Failed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failed;
}

std::vector<std::pair<int, std::int32_t>> SerialCutter::DeviceValues() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_values;
}

void SerialCutter::SetWriteObserver(std::function<void(std::uint64_t)> observer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_observer = std::move(observer);
}

std::string KnifeUpBytes(CutterProtocol protocol) {
  if (protocol == CutterProtocol::Hpgl) return ";PU;";
  return std::string("!") + '\x18';
}

namespace {

// What the signal handler writes: set while a driver is installed, read only in the handler.
std::atomic<int> g_signalFd{-1};
char g_signalBytes[8];
std::atomic<std::size_t> g_signalLength{0};
struct sigaction g_previousInt;
struct sigaction g_previousTerm;
std::atomic<bool> g_installed{false};

extern "C" void KnifeUpOnSignal(int sig) {
  const int fd = g_signalFd.load();
  if (fd >= 0) {
    const ssize_t put = ::write(fd, g_signalBytes, g_signalLength.load());
    static_cast<void>(put);
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void InstallKnifeUpOnSignals(const SerialCutter* cutter, int fd) {
  const std::string bytes = KnifeUpBytes(cutter->Options().protocol);
  g_signalFd.store(-1);
  std::memcpy(g_signalBytes, bytes.data(), std::min(bytes.size(), sizeof g_signalBytes));
  g_signalLength.store(std::min(bytes.size(), sizeof g_signalBytes));
  g_signalFd.store(fd);
  if (g_installed.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = KnifeUpOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previousInt);
  sigaction(SIGTERM, &action, &g_previousTerm);
}

void UninstallKnifeUpOnSignals(int fd) {
  int expected = fd;
  if (!g_signalFd.compare_exchange_strong(expected, -1)) return;
  if (!g_installed.exchange(false)) return;
  sigaction(SIGINT, &g_previousInt, nullptr);
  sigaction(SIGTERM, &g_previousTerm, nullptr);
}

}  // namespace kx
