// The diagnostic log: one line per event on the standard error stream, or into a test's capture.
// Threads: thread-safe; lines from different threads are never interleaved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kx {

// How serious an event is; a threshold lets through its own level and the ones above it.
enum class LogLevel { Error, Warning, Info, Debug };

// What part of the system speaks. Printed by name (LogCategoryName).
enum class LogCategory {
  Window,    // "window": windows, dialogs, controls, data exchange, rendering
  Gdi,       // "gdi": bitmaps and blits
  Input,     // "input": a scripted user's actions on controls
  Operator,  // "operator": message boxes and the scripted operator
  Settings,  // "settings": the settings files
  Vision,    // "vision": the mark locators' timing
  Device,    // "device": the serial cutter and the video camera
  Web,       // "web": the browser front end's server, its connections and refused messages
};

const char* LogCategoryName(LogCategory category);

// The most detailed level written, or nothing at all.
struct LogThreshold {
  bool off = false;
  LogLevel level = LogLevel::Warning;

  bool Passes(LogLevel event) const { return !off && event <= level; }
};

// Reads a KX_LOG value: "off", "error", "warning", "info" or "debug". Null or empty gives the
// default (warning). Any other text also gives the default, and *problem (when given) says what
// is wrong with it; otherwise *problem is cleared.
LogThreshold ParseLogThreshold(const char* text, std::string* problem = nullptr);

// The one line format: "kestrix: <category>: <message>" (no newline).
std::string LogLine(LogCategory category, std::string_view message);

// Writes one line to the standard error stream when level passes KX_LOG's threshold (the
// environment is read once, at the first event). While a ScopedLogCapture lives, the line goes to
// the newest capture instead. Thread-safe; lines are never interleaved.
void Log(LogLevel level, LogCategory category, std::string_view message);

// One captured event.
struct LogEntry {
  LogLevel level;
  LogCategory category;
  std::string line;  // as LogLine formats it
};

// Collects the log's events from every thread while it lives, instead of the standard error
// stream; KX_LOG does not apply, the capture's own threshold does. Captures nest: the newest one
// alive collects.
class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(LogThreshold threshold = LogThreshold{false, LogLevel::Debug});
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  std::vector<LogEntry> Entries() const;
  // The captured lines, in order.
  std::vector<std::string> Lines() const;

 private:
  friend void Log(LogLevel level, LogCategory category, std::string_view message);

  LogThreshold m_threshold;
  ScopedLogCapture* m_previous;
  std::vector<LogEntry> m_entries;  // guarded by the log's lock
};

}  // namespace kx
