// A cutter on the far end of a pseudo-terminal.
#include "devices/FakePlotter.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "host/DriverSession.h"

namespace kx {
namespace {

constexpr double kMmPerUnit = 25.4 / kCutterUnitsPerInch;

}  // namespace

FakePlotter::FakePlotter(CutterProtocol protocol, int unitsPerInch, ICutterDriver* target)
    : m_protocol(protocol), m_unitsPerInch(unitsPerInch), m_target(target) {}

FakePlotter::~FakePlotter() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  if (m_thread.joinable()) m_thread.join();
  if (m_master >= 0) ::close(m_master);
  if (m_slave >= 0) ::close(m_slave);
}

bool FakePlotter::Start(std::string* error) {
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
    *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128] = {};
  if (::ptsname_r(m_master, name, sizeof name) != 0) {
    *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  m_slavePath = name;
  m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_slave < 0) {
    *error = m_slavePath + ": " + std::strerror(errno);
    return false;
  }
  // Raw from the start: no echo of the device's answers back to it.
  termios tio{};
  ::tcgetattr(m_slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(m_slave, TCSANOW, &tio);
  ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
  m_thread = std::thread([this] { Run(); });
  return true;
}

void FakePlotter::Run() {
  for (;;) {
    bool idle = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stop) return;
      // Closed here, by the only thread that polls it: a descriptor closed under a poll lives on
      // until the poll returns, and the driver would not see the hang-up at once.
      if (m_hungUp && m_master >= 0) {
        ::close(m_master);
        ::close(m_slave);
        m_master = m_slave = -1;
        m_changed.notify_all();
      }
      idle = m_stalled || m_hungUp;
    }
    if (idle) {
      ::poll(nullptr, 0, 5);
      continue;
    }
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
    char buf[4096];
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_hungUp || m_stalled) continue;
    const ssize_t got = ::read(m_master, buf, sizeof buf);
    if (got <= 0) continue;
    m_received.append(buf, static_cast<std::size_t>(got));
    HandleLocked(buf, static_cast<std::size_t>(got));
    m_handled += static_cast<std::uint64_t>(got);
    lock.unlock();
    m_changed.notify_all();
  }
}

void FakePlotter::HandleLocked(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (m_protocol == CutterProtocol::Hpgl) {
      if (c == ';') {
        HpglCommandLocked(m_pending);
        m_pending.clear();
      } else if (c != '\n' && c != '\r' && c != ' ') {
        m_pending.push_back(c);
      }
      continue;
    }
    // GRBL's real-time bytes act at once, outside the lines.
    if (c == '?') {
      StatusLocked();
    } else if (c == '\x18') {
      m_knifeDown = false;
      m_pending.clear();
      AnswerLocked("\r\nGrbl 1.1h ['$' for help]\r\n");
    } else if (c == '!' || c == '~') {
    } else if (c == '\n') {
      GrblLineLocked(m_pending);
      m_pending.clear();
    } else if (c != '\r') {
      m_pending.push_back(c);
    }
  }
}

void FakePlotter::MoveLocked(double x, double y, int mode) {
  m_strokes.push_back({mode, x, y});
  m_x = x;
  m_y = y;
  if (m_target) m_target->sendxyNoW(std::lround(x), std::lround(y), mode);
}

void FakePlotter::HpglCommandLocked(const std::string& command) {
  if (command.size() < 2) return;
  const std::string op = command.substr(0, 2);
  std::vector<long> values;
  std::stringstream params(command.substr(2));
  std::string item;
  while (std::getline(params, item, ','))
    if (!item.empty()) values.push_back(std::strtol(item.c_str(), nullptr, 10));
  if (op == "IN") {
    m_knifeDown = false;
    return;
  }
  if (op != "PU" && op != "PD") return;
  m_knifeDown = op == "PD";
  for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
    const double x = static_cast<double>(values[i]) * kCutterUnitsPerInch / m_unitsPerInch;
    const double y = static_cast<double>(values[i + 1]) * kCutterUnitsPerInch / m_unitsPerInch;
    MoveLocked(x, y, m_knifeDown ? kMoveCut : kMoveTravel);
  }
}

void FakePlotter::GrblLineLocked(const std::string& line) {
  if (line.empty()) {
    AnswerLocked("ok\r\n");
    return;
  }
  if (m_reject) {
    AnswerLocked("error:9\r\n");
    return;
  }
  if (line.front() == '$') {
    AnswerLocked("ok\r\n");
    return;
  }
  double x = m_x * kMmPerUnit;
  double y = m_y * kMmPerUnit;
  bool motion = false;
  std::stringstream words(line);
  std::string word;
  while (words >> word) {
    const char letter = word.front();
    const double value = std::strtod(word.c_str() + 1, nullptr);
    if (letter == 'G' && (word == "G0" || word == "G00")) {
      m_rapid = true;
    } else if (letter == 'G' && (word == "G1" || word == "G01")) {
      m_rapid = false;
    } else if (word == "M3" || word == "M03") {
      m_knifeDown = true;
    } else if (word == "M5" || word == "M05") {
      m_knifeDown = false;
    } else if (letter == 'X') {
      x = value;
      motion = true;
    } else if (letter == 'Y') {
      y = value;
      motion = true;
    } else if (letter == 'F' || word == "G21" || word == "G90") {
    } else {
      AnswerLocked("error:20\r\n");
      return;
    }
  }
  if (motion) {
    const bool cut = !m_rapid && m_knifeDown;
    MoveLocked(x / kMmPerUnit, y / kMmPerUnit, cut ? kMoveCut : kMoveTravel);
  }
  AnswerLocked("ok\r\n");
}

void FakePlotter::StatusLocked() {
  double x = m_x;
  double y = m_y;
  std::int32_t xy[2] = {0, 0};
  if (m_target && m_target->GetPlotterData(kPortNoIndex, kPlotterDataHeadPosition, xy) != 0) {
    x = xy[0];
    y = xy[1];
  }
  const bool resting = std::lround(x) == std::lround(m_x) && std::lround(y) == std::lround(m_y);
  char report[128];
  std::snprintf(report, sizeof report, "<%s|MPos:%.3f,%.3f,0.000|FS:0,0>\r\n",
                resting ? "Idle" : "Run", x * kMmPerUnit, y * kMmPerUnit);
  AnswerLocked(report);
}

void FakePlotter::AnswerLocked(const std::string& text) {
  if (m_hungUp) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = ::write(m_master, text.data() + done, text.size() - done);
    if (put <= 0) {
      if (errno == EAGAIN || errno == EINTR) {
        ::poll(nullptr, 0, 1);
        continue;
      }
      return;
    }
    done += static_cast<std::size_t>(put);
  }
}

std::string FakePlotter::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

std::uint64_t FakePlotter::BytesReceived() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handled;
}

bool FakePlotter::WaitForBytes(std::uint64_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return m_handled >= count || m_hungUp;
  }) && m_handled >= count;
}

std::vector<PlotterStroke> FakePlotter::Strokes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strokes;
}

bool FakePlotter::KnifeDown() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_knifeDown;
}

void FakePlotter::SetStalled(bool stalled) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stalled = stalled;
}

void FakePlotter::SetRejectLines(bool reject) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_reject = reject;
}

void FakePlotter::SendXoff() {
  std::lock_guard<std::mutex> lock(m_mutex);
  AnswerLocked("\x13");
}

void FakePlotter::SendXon() {
  std::lock_guard<std::mutex> lock(m_mutex);
  AnswerLocked("\x11");
}

void FakePlotter::HangUp() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_hungUp = true;
  if (m_thread.joinable()) m_changed.wait(lock, [this] { return m_master < 0; });
}

}  // namespace kx
