// The embedded host's settings: INI files in the user's configuration folder.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/Host.h"

namespace kx {

// Section settings of store type 1 live in settings.ini, other store types in settings<N>.ini,
// device settings in device.ini, all in one folder. Files are read again when they change on
// disk, and written whole through a temporary file that is flushed and renamed into place, so a
// crash never leaves half a file. A line that cannot be read is reported (file and line) and
// skipped; every other key of the file stays readable, and before such a file is first rewritten
// it is kept beside it as <name>.corrupt. Thread-safe.
class SettingsStore final : public ISettingsStore {
 public:
  // folder is created when the first value is written.
  explicit SettingsStore(std::filesystem::path folder = DefaultFolder());

  // $XDG_CONFIG_HOME/kestrix, else ~/.config/kestrix, else ./kestrix-config.
  static std::filesystem::path DefaultFolder();
  const std::filesystem::path& Folder() const { return m_folder; }
  std::filesystem::path FileOf(int store) const;

  std::optional<std::string> Read(int store, std::string_view section,
                                  std::string_view key) override;
  // False, with the stored values unchanged, when the file cannot be written or the section or
  // key cannot be stored in an INI file (empty, a line break, '=' in a key, ']' in a section).
  bool Write(int store, std::string_view section, std::string_view key,
             std::string_view value) override;

  // Every problem met reading the files, as "<file>:<line>: <what>", oldest first.
  std::vector<std::string> Problems() const;

 private:
  using Keys = std::vector<std::pair<std::string, std::string>>;
  struct IniFile {
    std::vector<std::pair<std::string, Keys>> sections;
    bool loaded = false;
    bool exists = false;
    bool hadProblems = false;
    bool backedUp = false;
    std::filesystem::file_time_type time{};
    std::uintmax_t size = 0;
  };

  IniFile& Load(int store);
  void Parse(const std::filesystem::path& path, IniFile& file);
  bool Save(const std::filesystem::path& path, const IniFile& file);

  std::filesystem::path m_folder;
  mutable std::mutex m_mutex;
  std::map<int, IniFile> m_files;
  std::vector<std::string> m_problems;
};

}  // namespace kx
