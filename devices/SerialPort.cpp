// Our small termios layer.
#include "devices/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kx {
namespace {

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

struct BaudEntry {
  int baud;
  speed_t speed;
};
constexpr BaudEntry kBauds[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                                {9600, B9600},   {19200, B19200},   {38400, B38400},
                                {57600, B57600}, {115200, B115200}, {230400, B230400}};

// Device I/O waits in real time whatever clock the program runs on: the device does not follow
// a virtual clock.
using Steady = std::chrono::steady_clock;

int RemainingMs(Steady::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool IsSupportedBaud(int baud) {
  for (const BaudEntry& b : kBauds)
    if (b.baud == baud) return true;
  return false;
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const SerialSettings& settings, std::string* error) {
  Close();
  m_settings = settings;
  m_paused = false;
  m_lost = false;
  m_input.clear();
  speed_t speed = B0;
  for (const BaudEntry& b : kBauds)
    if (b.baud == settings.baud) speed = b.speed;
  if (speed == B0) {
    *error = settings.path + ": baud rate " + std::to_string(settings.baud) + " is not supported";
    return false;
  }
  const int fd = ::open(settings.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = settings.path + ": cannot open the port: " + std::strerror(errno);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    *error = settings.path + ": not a serial port: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE | HUPCL);
  tio.c_cflag |= CS8;
  if (settings.flow == FlowControl::RtsCts) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_cflag &= ~CRTSCTS;
  }
  // XON/XOFF is ours (see the class comment): the line driver passes the bytes through.
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    *error = settings.path + ": cannot configure the port: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  ::tcflush(fd, TCIFLUSH);
  m_fd = fd;
  return true;
}

std::string SerialPort::LostMessage() const {
  return m_settings.path + ": the port was lost (the cutter hung up or was disconnected)";
}

bool SerialPort::Pump(int timeoutMs, std::string* error) {
  if (m_fd < 0 || m_lost) {
    *error = m_fd < 0 ? m_settings.path + ": the port is not open" : LostMessage();
    return false;
  }
  pollfd p{m_fd, POLLIN, 0};
  const int n = ::poll(&p, 1, timeoutMs);
  if (n < 0 && errno != EINTR) {
    *error = m_settings.path + ": " + std::strerror(errno);
    return false;
  }
  if (n <= 0) return true;
  if (p.revents & POLLIN) {
    char buf[512];
    const ssize_t got = ::read(m_fd, buf, sizeof buf);
    if (got > 0) {
      for (ssize_t i = 0; i < got; ++i) {
        if (m_settings.flow == FlowControl::XonXoff && buf[i] == kXoff) {
          m_paused = true;
        } else if (m_settings.flow == FlowControl::XonXoff && buf[i] == kXon) {
          m_paused = false;
        } else {
          m_input.push_back(buf[i]);
        }
      }
      return true;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    m_lost = true;
  } else if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    m_lost = true;
  }
  if (m_lost) {
    *error = LostMessage();
    return false;
  }
  return true;
}

bool SerialPort::Write(std::string_view bytes, std::string* error) {
  const Steady::time_point deadline =
      Steady::now() + std::chrono::milliseconds(m_settings.writeTimeoutMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (!Pump(0, error)) return false;
    if (m_paused) {
      const int left = RemainingMs(deadline);
      if (left == 0) break;
      if (!Pump(left, error)) return false;
      continue;
    }
    pollfd p{m_fd, POLLOUT, 0};
    const int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) break;
    if (n < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      m_lost = true;
      *error = LostMessage();
      return false;
    }
    const ssize_t put = ::write(m_fd, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      m_lost = true;
      *error = LostMessage();
      return false;
    }
    done += static_cast<std::size_t>(put);
    m_written += static_cast<std::uint64_t>(put);
  }
  if (done < bytes.size()) {
    *error = m_settings.path + ": the cutter took no data for " +
             std::to_string(m_settings.writeTimeoutMs) + " ms" +
             (m_paused ? " (it holds XOFF)" : "") + "; the job ends";
    return false;
  }
  return true;
}

bool SerialPort::ReadUntil(char end, std::string* text, int timeoutMs, std::string* error) {
  const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t at = m_input.find(end);
    if (at != std::string::npos) {
      *text = m_input.substr(0, at + 1);
      m_input.erase(0, at + 1);
      return true;
    }
    const int left = RemainingMs(deadline);
    if (left == 0) {
      *error = m_settings.path + ": no answer from the cutter within " + std::to_string(timeoutMs) +
               " ms";
      return false;
    }
    if (!Pump(left, error)) return false;
  }
}

bool SerialPort::ReadLine(std::string* line, int timeoutMs, std::string* error) {
  std::string text;
  if (!ReadUntil('\n', &text, timeoutMs, error)) return false;
  line->clear();
  for (char c : text)
    if (c != '\r' && c != '\n') line->push_back(c);
  return true;
}

bool SerialPort::Drain(int timeoutMs, std::string* error) {
  const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int queued = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
    const int left = RemainingMs(deadline);
    if (left == 0) {
      *error = m_settings.path + ": " + std::to_string(queued) +
               " bytes still waiting to go out after " + std::to_string(timeoutMs) + " ms";
      return false;
    }
    if (!Pump(left < 5 ? left : 5, error)) return false;
  }
}

void SerialPort::DiscardInput() {
  std::string ignored;
  if (m_fd >= 0 && !m_lost) Pump(0, &ignored);
  m_input.clear();
}

void SerialPort::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

}  // namespace kx
