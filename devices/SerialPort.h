// Our small termios layer: a serial port in raw mode with baud, flow control and timeouts.
// Threads: bound to one thread at a time (the caller serialises; SerialCutter holds a lock).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

enum class FlowControl {
  None,
  XonXoff,  // the device sends XOFF (0x13) when its buffer fills and XON (0x11) when it may go on
  RtsCts,   // hardware handshake, carried out by the serial line driver
};

struct SerialSettings {
  std::string path;  // e.g. /dev/ttyUSB0
  int baud = 9600;   // 8 data bits, no parity, 1 stop bit
  FlowControl flow = FlowControl::XonXoff;
  // The longest a write may wait for the device (XOFF held, buffer full) before it fails.
  int writeTimeoutMs = 5000;
};

// Whether a baud rate is one termios knows (1200 ... 230400).
bool IsSupportedBaud(int baud);

// The serial port. Every failure is a result and a message that names the port. XON/XOFF is
// handled here rather than by the line driver so that a device holding XOFF makes a write fail
// after its timeout instead of filling the kernel's buffer and hanging the close.
class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens and configures the port (raw, 8N1, baud, flow control, no modem control hang-up).
  bool Open(const SerialSettings& settings, std::string* error);
  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Path() const { return m_settings.path; }
  // The open descriptor, -1 when closed (for the knife-up write of a signal handler).
  int Fd() const { return m_fd; }

  // Writes all bytes, waiting while the device holds XOFF or the output is full, at most the
  // write timeout in all. False, with a message naming the port, on a timeout or a lost port.
  // Blocks.
  bool Write(std::string_view bytes, std::string* error);
  // Reads one line within timeoutMs (real time): the text before '\n', without '\r' and without
  // flow control bytes. Blocks.
  bool ReadLine(std::string* line, int timeoutMs, std::string* error);
  // Reads up to and including the byte `end` within timeoutMs; the result without flow control
  // bytes. Blocks.
  bool ReadUntil(char end, std::string* text, int timeoutMs, std::string* error);
  // Waits until the output has left the computer, at most timeoutMs. Blocks.
  bool Drain(int timeoutMs, std::string* error);
  // Drops input not yet read.
  void DiscardInput();
  // True once the device hung up or the port went away.
  bool Lost() const { return m_lost; }
  void Close();

  std::uint64_t BytesWritten() const { return m_written; }

 private:
  // Takes what the device has sent within timeoutMs (0: only what is there) into m_input,
  // tracking XON/XOFF. False when the port is lost.
  bool Pump(int timeoutMs, std::string* error);
  std::string LostMessage() const;

  SerialSettings m_settings;
  int m_fd = -1;
  bool m_paused = false;  // the device sent XOFF
  bool m_lost = false;
  std::string m_input;
  std::uint64_t m_written = 0;
};

}  // namespace kx
