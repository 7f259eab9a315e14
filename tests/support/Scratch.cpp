// A scratch folder named after the running test, and whole-file text reads and writes.
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iterator>

namespace kx::test {
namespace {

// Parameterised tests have '/' in their names; a folder name keeps letters, digits, '-' and '_'.
std::string FolderPart(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  return out;
}

}  // namespace

ScratchFolder::ScratchFolder(std::string_view tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "kestrix-" + FolderPart(info ? info->test_suite_name() : "nosuite") + "-" +
                     FolderPart(info ? info->name() : "notest");
  if (!tag.empty()) name += "-" + FolderPart(tag);
  m_path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(m_path);
  std::filesystem::create_directories(m_path);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kx::test
