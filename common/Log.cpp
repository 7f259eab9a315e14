// The diagnostic log: one line per event on the standard error stream, or into a test's capture.
#include "common/Log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace kx {

namespace {

std::mutex g_logMutex;
ScopedLogCapture* g_capture = nullptr;  // the newest capture; guarded by g_logMutex

std::string Format(std::string_view name, std::string_view message) {
  std::string line = "kestrix: ";
  line += name;
  line += ": ";
  line += message;
  return line;
}

// One write per line, so that lines of several threads (and processes) stay whole.
void WriteStderr(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// KX_LOG as it was at the first line written; a bad value is reported then, once. Call with
// g_logMutex held.
LogThreshold StderrThreshold() {
  static const LogThreshold threshold = [] {
    std::string problem;
    const LogThreshold parsed = ParseLogThreshold(std::getenv("KX_LOG"), &problem);
    if (!problem.empty()) WriteStderr(Format("log", problem));
    return parsed;
  }();
  return threshold;
}

}  // namespace

const char* LogCategoryName(LogCategory category) {
  switch (category) {
    case LogCategory::Window:
      return "window";
    case LogCategory::Gdi:
      return "gdi";
    case LogCategory::Input:
      return "input";
    case LogCategory::Operator:
      return "operator";
    case LogCategory::Settings:
      return "settings";
    case LogCategory::Vision:
      return "vision";
    case LogCategory::Device:
      return "device";
    case LogCategory::Web:
      return "web";
  }
  return "?";
}

LogThreshold ParseLogThreshold(const char* text, std::string* problem) {
  if (problem) problem->clear();
  if (!text || !*text) return LogThreshold{};
  std::string word(text);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "off") return LogThreshold{true, LogLevel::Error};
  if (word == "error") return LogThreshold{false, LogLevel::Error};
  if (word == "warning") return LogThreshold{false, LogLevel::Warning};
  if (word == "info") return LogThreshold{false, LogLevel::Info};
  if (word == "debug") return LogThreshold{false, LogLevel::Debug};
  if (problem) {
    *problem = "KX_LOG \"" + std::string(text) +
               "\" is not one of off, error, warning, info, debug; using warning";
  }
  return LogThreshold{};
}

std::string LogLine(LogCategory category, std::string_view message) {
  return Format(LogCategoryName(category), message);
}

void Log(LogLevel level, LogCategory category, std::string_view message) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (g_capture) {
    if (g_capture->m_threshold.Passes(level)) {
      g_capture->m_entries.push_back(LogEntry{level, category, LogLine(category, message)});
    }
    return;
  }
  if (StderrThreshold().Passes(level)) WriteStderr(LogLine(category, message));
}

ScopedLogCapture::ScopedLogCapture(LogThreshold threshold) : m_threshold(threshold) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  m_previous = g_capture;
  g_capture = this;
}

ScopedLogCapture::~ScopedLogCapture() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  for (ScopedLogCapture** link = &g_capture; *link; link = &(*link)->m_previous) {
    if (*link == this) {
      *link = m_previous;
      break;
    }
  }
}

std::vector<LogEntry> ScopedLogCapture::Entries() const {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return m_entries;
}

std::vector<std::string> ScopedLogCapture::Lines() const {
  std::vector<std::string> lines;
  for (const LogEntry& entry : Entries()) lines.push_back(entry.line);
  return lines;
}

}  // namespace kx
