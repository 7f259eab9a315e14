// How long a window waits for the cutter head before it gives up, and what it then says: one
// limit and one message for every window that drives the head.
// Threads: bound to one thread (reads the installed host's settings).
#pragma once

#include <algorithm>
#include <string>

#include "host/Settings.h"
#include "host/Translation.h"

namespace kx {

// Shown with an OK button when the limit has run out; %d is the limit in seconds.
inline constexpr char kHeadNotResting[] =
    "(*v*)The cutter head did not come to rest within %d s. Check the cutter; the run stops.";

// "KestrixHeadTimeout" of the device settings: seconds a wait on the head lasts, 1 to 86400
// (default 600: longer than any move or single copy's cut of a behaving cutter).
inline int HeadTimeoutSeconds() {
  return std::clamp(GetIntDeviceSetup("KestrixHeadTimeout", 600), 1, 86400);
}

// text translated, with its "%d" replaced by number.
inline std::string WithNumber(const char* text, int number) {
  std::string out = Translate(text);
  if (const std::size_t at = out.find("%d"); at != std::string::npos)
    out = out.substr(0, at) + std::to_string(number) + out.substr(at + 2);
  return out;
}

}  // namespace kx
