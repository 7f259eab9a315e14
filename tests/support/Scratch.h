// A scratch folder named after the running test, and whole-file text reads and writes.
#pragma once

#include <filesystem>
#include <string>

namespace kx::test {

// A fresh, empty folder <temp>/kestrix-<suite>-<test>-<pid> for the running test, removed with
// the object; a second one held at the same time gets "-2" appended, and so on. Outside a test
// the suite and test read "nosuite" and "notest".
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

// Replaces the file with text, byte for byte.
void WriteText(const std::filesystem::path& path, const std::string& text);

// The file's bytes; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

}  // namespace kx::test
