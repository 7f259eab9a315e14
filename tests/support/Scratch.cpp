// A scratch folder named after the running test, and whole-file text reads and writes.
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

namespace kx::test {
namespace {

// Parameterised tests have '/' in their names; a folder name keeps letters, digits, '-' and '_'.
std::string FolderPart(const std::string& text) {
  std::string out(text);
  for (char& c : out)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  return out;
}

// The folders held now, so that a second one never wipes the first.
std::mutex g_heldMutex;
std::set<std::filesystem::path> g_held;

}  // namespace

ScratchFolder::ScratchFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = "kestrix-" + FolderPart(info ? info->test_suite_name() : "nosuite") +
                           "-" + FolderPart(info ? info->name() : "notest") + "-" +
                           std::to_string(::getpid());
  {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    m_path = std::filesystem::temp_directory_path() / name;
    for (int n = 2; g_held.count(m_path); ++n)
      m_path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(n));
    g_held.insert(m_path);
  }
  std::filesystem::remove_all(m_path);
  std::filesystem::create_directories(m_path);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
  std::lock_guard<std::mutex> lock(g_heldMutex);
  g_held.erase(m_path);
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kx::test
