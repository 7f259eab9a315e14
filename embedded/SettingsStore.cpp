// The embedded host's settings: INI files in the user's configuration folder.
#include "embedded/SettingsStore.h"

#include <cstdlib>
#include <fstream>

#include "common/Log.h"
#include "host/AtomicFile.h"

namespace kx {
namespace fs = std::filesystem;
namespace {

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A line as it is echoed in a problem: control characters escaped, cut after about 60
// characters of the echo.
std::string Shorten(std::string_view line) {
  constexpr std::size_t kShown = 60;
  static const char* const kHex = "0123456789abcdef";
  std::string out;
  std::size_t i = 0;
  for (; i < line.size() && out.size() < kShown; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (i < line.size()) out += "... (" + std::to_string(line.size()) + " characters)";
  return out;
}

}  // namespace

SettingsStore::SettingsStore(fs::path folder) : m_folder(std::move(folder)) {}

fs::path SettingsStore::DefaultFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return fs::path(xdg) / "kestrix";
  if (const char* home = std::getenv("HOME"); home && *home)
    return fs::path(home) / ".config" / "kestrix";
  return fs::path("kestrix-config");
}

fs::path SettingsStore::FileOf(int store) const {
  if (store == kDeviceStore) return m_folder / "device.ini";
  if (store == 1) return m_folder / "settings.ini";
  return m_folder / ("settings" + std::to_string(store) + ".ini");
}

std::vector<std::string> SettingsStore::Problems() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_problems;
}

std::vector<std::string> SettingsStore::WriteFailures() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_writeFailures;
}

void SettingsStore::SetFailureReporter(FailureReporter reporter) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_reporter = std::move(reporter);
}

SettingsStore::IniFile& SettingsStore::Load(int store) {
  IniFile& file = m_files[store];
  const fs::path path = FileOf(store);
  std::error_code ec;
  const auto status = fs::status(path, ec);
  const bool exists = fs::is_regular_file(status);
  const auto time = exists ? fs::last_write_time(path, ec) : fs::file_time_type{};
  const auto size = exists ? fs::file_size(path, ec) : 0;
  if (file.loaded && exists == file.exists && time == file.time && size == file.size) return file;
  file = IniFile{};
  file.loaded = true;
  file.exists = exists;
  file.time = time;
  file.size = size;
  if (exists) {
    Parse(path, file);
  } else if (fs::exists(status)) {
    std::string text = path.string() + ":0: is not a regular file; its settings cannot be read";
    Log(LogLevel::Warning, LogCategory::Settings, text);
    m_problems.push_back(std::move(text));
  }
  Index(file);
  return file;
}

void SettingsStore::Parse(const fs::path& path, IniFile& file) {
  std::ifstream in(path, std::ios::binary);
  auto problem = [&](std::size_t line, const std::string& what) {
    std::string text = path.string() + ":" + std::to_string(line) + ": " + what;
    Log(LogLevel::Warning, LogCategory::Settings, text);
    m_problems.push_back(std::move(text));
    file.hadProblems = true;
  };
  if (!in) {
    problem(0, "cannot be opened");
    return;
  }
  std::string raw;
  std::size_t lineNo = 0;
  bool inSection = false;
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = Trim(raw);
    if (line.find('\0') != std::string::npos) {
      problem(lineNo, "contains a NUL byte: '" + Shorten(line) + "'");
      continue;
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') {
      file.lines.push_back(Line{Line::Kind::Text, raw, {}});
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) {
        problem(lineNo, "section header '" + Shorten(line) + "' is not of the form [name]");
        inSection = false;  // keys below belong to an unknown section: skip them
        continue;
      }
      std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
      if (name.empty()) {
        problem(lineNo, "section header '" + Shorten(line) + "' has no name");
        inSection = false;
        continue;
      }
      file.lines.push_back(Line{Line::Kind::Section, std::move(name), {}});
      inSection = true;
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) {
      problem(lineNo, "expected 'key=value', found '" + Shorten(line) + "'");
      continue;
    }
    if (!inSection) {
      problem(lineNo, "key outside of a readable section: '" + Shorten(line) + "'");
      continue;
    }
    file.lines.push_back(Line{Line::Kind::Key, Trim(std::string_view(line).substr(0, eq)),
                              Trim(std::string_view(line).substr(eq + 1))});
  }
  if (in.bad()) problem(lineNo, "cannot be read further");
}

// A key given twice in a section reads as its last line, as it always has.
void SettingsStore::Index(IniFile& file) {
  file.sections.clear();
  SectionIndex* current = nullptr;
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    const Line& line = file.lines[i];
    if (line.kind == Line::Kind::Section) {
      current = &file.sections[line.name];
      current->last = i;
    } else if (line.kind == Line::Kind::Key && current) {
      current->keys[line.name] = i;
      current->last = i;
    }
  }
}

bool SettingsStore::KeepCorruptCopy(const fs::path& path, std::string* error) {
  std::error_code ec;
  fs::path copy = path.string() + ".corrupt";
  for (int n = 2; fs::exists(fs::symlink_status(copy, ec)); ++n) {
    if (n > 100000) {
      *error = path.string() + ": too many copies of damaged settings files beside it";
      return false;
    }
    copy = path.string() + ".corrupt." + std::to_string(n);
  }
  fs::copy_file(path, copy, fs::copy_options::none, ec);
  if (ec) {
    *error = copy.string() + ": cannot keep a copy of the damaged settings file: " + ec.message();
    return false;
  }
  return true;
}

std::optional<std::string> SettingsStore::Read(int store, std::string_view section,
                                               std::string_view key) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const IniFile& file = Load(store);
  const auto sec = file.sections.find(std::string(section));
  if (sec == file.sections.end()) return std::nullopt;
  const auto it = sec->second.keys.find(std::string(key));
  if (it == sec->second.keys.end()) return std::nullopt;
  return file.lines[it->second].value;
}

bool SettingsStore::Write(int store, std::string_view section, std::string_view key,
                          std::string_view value) {
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);
  if (sectionName.empty() || keyName.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || keyName[0] == '[' || keyName[0] == ';' ||
      keyName[0] == '#' || section.find('\0') != std::string_view::npos ||
      key.find('\0') != std::string_view::npos || value.find('\0') != std::string_view::npos)
    return false;
  std::string failure;
  FailureReporter reporter;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    IniFile& file = Load(store);
    const fs::path path = FileOf(store);
    // Never drop the unreadable lines without a copy of them.
    bool ready = true;
    if (file.hadProblems && !file.backedUp) {
      ready = KeepCorruptCopy(path, &failure);
      if (ready) file.backedUp = true;
    }
    if (ready) {
      IniFile updated = file;
      const auto sec = updated.sections.find(sectionName);
      if (sec == updated.sections.end()) {
        if (!updated.lines.empty() && !Trim(updated.lines.back().name).empty())
          updated.lines.push_back(Line{});
        updated.lines.push_back(Line{Line::Kind::Section, sectionName, {}});
        updated.lines.push_back(Line{Line::Kind::Key, keyName, Trim(value)});
      } else if (const auto it = sec->second.keys.find(keyName); it != sec->second.keys.end()) {
        updated.lines[it->second].value = Trim(value);
      } else {
        updated.lines.insert(
            updated.lines.begin() + static_cast<std::ptrdiff_t>(sec->second.last + 1),
            Line{Line::Kind::Key, keyName, Trim(value)});
      }
      std::string text;
      for (const Line& line : updated.lines) {
        if (line.kind == Line::Kind::Section)
          text += "[" + line.name + "]\n";
        else if (line.kind == Line::Kind::Key)
          text += line.name + "=" + line.value + "\n";
        else
          text += line.name + "\n";
      }
      if (WriteFileAtomically(path, text, &failure)) {
        std::error_code ec;
        Index(updated);
        updated.exists = true;
        updated.hadProblems = false;
        updated.time = fs::last_write_time(path, ec);
        updated.size = fs::file_size(path, ec);
        file = std::move(updated);
        return true;
      }
    }
    Log(LogLevel::Error, LogCategory::Settings, failure);
    m_writeFailures.push_back(failure);
    reporter = m_reporter;
  }
  if (reporter) reporter(failure);
  return false;
}

}  // namespace kx
