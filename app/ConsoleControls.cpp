// What every console operator shares.
#include "app/ConsoleControls.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "host/DriverSession.h"
#include "host/Settings.h"
#include "scenario/RunScript.h"

namespace kx {
namespace {

// A typed move counts as done within this many cutter units; a click lands only to the nearest
// few live-view pixels. A click reaches at most a few live views far, so a far target takes many;
// the move ends early when a click brought the head no closer.
constexpr double kSteerTolerance = 20.0;
constexpr int kSteerClicks = 200;

std::atomic<int> g_interrupts{0};
std::atomic<bool> g_stoppable{false};
std::atomic<const char*> g_stoppingText{nullptr};
struct sigaction g_previous {};

extern "C" void OnInterrupt(int) {
  if (!g_stoppable.load() || g_interrupts.fetch_add(1) >= 1) {
    // Whoever was there before (the serial cutter's knife-up handler, or the default) ends the
    // program once this handler has returned.
    sigaction(SIGINT, &g_previous, nullptr);
    raise(SIGINT);
    return;
  }
  if (const char* said = g_stoppingText.load()) {
    const ssize_t ignored = write(STDERR_FILENO, said, std::strlen(said));
    static_cast<void>(ignored);
  }
}

}  // namespace

std::optional<std::string> AskLine(std::istream& in, std::ostream& out, const std::string& prompt) {
  out << prompt << std::flush;
  std::string line;
  if (!std::getline(in, line)) {
    out << "\n";
    return std::nullopt;
  }
  return line;
}

std::string ConsoleNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

cv::Point2d DriverHead() {
  char port[100] = {};
  GetStringDeviceNull("Port Setup", "Port", port, sizeof port);
  const HeadPoint p = ReadHeadPosition(ResolvePort(port));
  return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

ConsoleInterrupt::ConsoleInterrupt(const char* stoppingText) {
  g_interrupts = 0;
  g_stoppable = false;
  g_stoppingText = stoppingText;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previous);
}

ConsoleInterrupt::~ConsoleInterrupt() {
  g_stoppable = false;
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  if (current.sa_handler == OnInterrupt) sigaction(SIGINT, &g_previous, nullptr);
  g_stoppingText = nullptr;
}

void ConsoleInterrupt::SetStoppable(bool stoppable) { g_stoppable = stoppable; }

bool ConsoleInterrupt::Take() {
  if (m_taken || g_interrupts.load() == 0) return false;
  m_taken = true;
  return true;
}

bool ClickSteering::Aim(const std::string& command, std::istringstream& words, cv::Point2d head,
                        std::ostream& out) {
  double x = 0, y = 0;
  std::string extra;
  if (!(words >> x >> y) || (words >> extra)) {
    out << command << " takes two numbers (cutter units)\n";
    return false;
  }
  m_target = command == "goto" ? cv::Point2d(x, y) : head + cv::Point2d(x, y);
  m_clicksLeft = kSteerClicks;
  m_lastDistance = -1;
  return true;
}

bool ClickSteering::Step(const CWnd& dialog, int liveId, cv::Point2d head, double scale,
                         std::ostream& out) {
  if (!m_target) return false;
  const cv::Point2d aim(std::max(m_target->x, 0.0), std::max(m_target->y, 0.0));
  const cv::Point2d d = aim - head;
  const double distance = std::max(std::fabs(d.x), std::fabs(d.y));
  if (distance <= kSteerTolerance || m_clicksLeft <= 0 ||
      (m_lastDistance >= 0 && distance >= m_lastDistance)) {
    m_target.reset();
    return false;
  }
  --m_clicksLeft;
  m_lastDistance = distance;
  if (!ClickTowards(dialog, liveId, d, scale > 0 ? scale : 1.0)) {
    out << "the head cannot be moved: the window has no live view\n";
    m_target.reset();
  }
  return true;
}

}  // namespace kx
