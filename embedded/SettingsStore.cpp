// The embedded host's settings: INI files in the user's configuration folder.
#include "embedded/SettingsStore.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

SettingsStore::IniFile& SettingsStore::Load(int store) {
  IniFile& file = m_files[store];
  const fs::path path = FileOf(store);
  std::error_code ec;
  const bool exists = fs::is_regular_file(path, ec);
  const auto time = exists ? fs::last_write_time(path, ec) : fs::file_time_type{};
  const auto size = exists ? fs::file_size(path, ec) : 0;
  if (file.loaded && exists == file.exists && time == file.time && size == file.size) return file;
  file = IniFile{};
  file.loaded = true;
  file.exists = exists;
  file.time = time;
  file.size = size;
  if (exists) Parse(path, file);
  return file;
}

void SettingsStore::Parse(const fs::path& path, IniFile& file) {
  std::ifstream in(path, std::ios::binary);
  auto problem = [&](int line, const std::string& what) {
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
  int lineNo = 0;
  Keys* keys = nullptr;
  while (std::getline(in, raw)) {
    ++lineNo;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.find('\0') != std::string::npos) {
      problem(lineNo, "contains a NUL byte");
      keys = nullptr;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) {
        problem(lineNo, "section header '" + line + "' is not of the form [name]");
        keys = nullptr;  // keys below belong to an unknown section: skip them
        continue;
      }
      const std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
      auto it = std::find_if(file.sections.begin(), file.sections.end(),
                             [&](const auto& s) { return s.first == name; });
      if (it == file.sections.end()) {
        file.sections.emplace_back(name, Keys{});
        keys = &file.sections.back().second;
      } else {
        keys = &it->second;
      }
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) {
      problem(lineNo, "expected 'key=value', found '" + line + "'");
      continue;
    }
    if (!keys) {
      problem(lineNo, "key outside of a readable section");
      continue;
    }
    const std::string key = Trim(std::string_view(line).substr(0, eq));
    std::string value = Trim(std::string_view(line).substr(eq + 1));
    auto it =
        std::find_if(keys->begin(), keys->end(), [&](const auto& k) { return k.first == key; });
    if (it == keys->end()) {
      keys->emplace_back(key, std::move(value));
    } else {
      it->second = std::move(value);
    }
  }
}

bool SettingsStore::Save(const fs::path& path, const IniFile& file) {
  std::ostringstream text;
  for (const auto& [section, keys] : file.sections) {
    text << '[' << section << "]\n";
    for (const auto& [key, value] : keys) text << key << '=' << value << '\n';
    text << '\n';
  }
  return WriteFileAtomically(path, text.str());
}

std::optional<std::string> SettingsStore::Read(int store, std::string_view section,
                                               std::string_view key) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const IniFile& file = Load(store);
  for (const auto& [name, keys] : file.sections) {
    if (name != section) continue;
    for (const auto& [k, v] : keys)
      if (k == key) return v;
  }
  return std::nullopt;
}

bool SettingsStore::Write(int store, std::string_view section, std::string_view key,
                          std::string_view value) {
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);
  if (sectionName.empty() || keyName.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || keyName[0] == '[' || keyName[0] == ';' ||
      keyName[0] == '#')
    return false;
  std::lock_guard<std::mutex> lock(m_mutex);
  IniFile& file = Load(store);
  const fs::path path = FileOf(store);
  if (file.hadProblems && !file.backedUp) {
    std::error_code ec;
    fs::copy_file(path, path.string() + ".corrupt", fs::copy_options::overwrite_existing, ec);
    if (ec) return false;  // never drop the unreadable lines without a copy of them
    file.backedUp = true;
  }
  IniFile updated = file;
  auto sec = std::find_if(updated.sections.begin(), updated.sections.end(),
                          [&](const auto& s) { return s.first == sectionName; });
  if (sec == updated.sections.end()) {
    updated.sections.emplace_back(sectionName, Keys{});
    sec = std::prev(updated.sections.end());
  }
  auto it = std::find_if(sec->second.begin(), sec->second.end(),
                         [&](const auto& k) { return k.first == keyName; });
  if (it == sec->second.end()) {
    sec->second.emplace_back(keyName, Trim(value));
  } else {
    it->second = Trim(value);
  }
  if (!Save(path, updated)) return false;
  std::error_code ec;
  updated.exists = true;
  updated.hadProblems = false;
  updated.time = fs::last_write_time(path, ec);
  updated.size = fs::file_size(path, ec);
  file = std::move(updated);
  return true;
}

}  // namespace kx
