// The embedded host's settings: INI files in the user's configuration folder.
// Threads: thread-safe.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/Host.h"

namespace kx {

// Section settings of store type 1 live in settings.ini, other store types in settings<N>.ini,
// device settings in device.ini, all in one folder. Files are read again when they change on
// disk, and written whole through a temporary file that is flushed and renamed into place, so a
// crash never leaves half a file. A rewrite keeps comments, blank lines and keys nobody asked
// for where they were. A line that cannot be read is reported (file and line, the line shortened)
// and skipped; every other key of the file stays readable, and before such a file is first
// rewritten it is kept beside it as <name>.corrupt (<name>.corrupt.2, .3, ... when that name is
// taken, so that no earlier copy is lost). Reading takes time in proportion to the file's size.
class SettingsStore final : public ISettingsStore {
 public:
  // Told, outside the store's lock, about every write that failed: "<file>: <what failed>".
  using FailureReporter = std::function<void(const std::string&)>;

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
  // A file that cannot be written is also told to the failure reporter and kept in
  // WriteFailures().
  bool Write(int store, std::string_view section, std::string_view key,
             std::string_view value) override;

  // Replaces the reporter of failed writes (none by default).
  void SetFailureReporter(FailureReporter reporter);

  // Every problem met reading the files, as "<file>:<line>: <what>", oldest first.
  std::vector<std::string> Problems() const;
  // Every write that failed, as "<file>: <what failed>", oldest first.
  std::vector<std::string> WriteFailures() const;

 private:
  // One line of a file as it is written back: text kept as it was (comments, blank lines), a
  // section header or a key.
  struct Line {
    enum class Kind { Text, Section, Key } kind = Kind::Text;
    std::string name;   // the text, the section's name or the key
    std::string value;  // a key's value
  };
  struct SectionIndex {
    std::size_t last = 0;  // the last line that belongs to the section
    std::unordered_map<std::string, std::size_t> keys;
  };
  struct IniFile {
    std::vector<Line> lines;
    std::unordered_map<std::string, SectionIndex> sections;
    bool loaded = false;
    bool exists = false;
    bool hadProblems = false;
    bool backedUp = false;
    std::filesystem::file_time_type time{};
    std::uintmax_t size = 0;
  };

  IniFile& Load(int store);
  void Parse(const std::filesystem::path& path, IniFile& file);
  static void Index(IniFile& file);
  bool KeepCorruptCopy(const std::filesystem::path& path, std::string* error);

  std::filesystem::path m_folder;
  mutable std::mutex m_mutex;
  std::map<int, IniFile> m_files;
  std::vector<std::string> m_problems;
  std::vector<std::string> m_writeFailures;
  FailureReporter m_reporter;
};

}  // namespace kx
