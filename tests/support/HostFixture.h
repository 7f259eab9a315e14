// Test helpers: a scratch folder, an installed embedded host and a cutter driver that records.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/CutterDriver.h"
#include "embedded/EmbeddedHost.h"

namespace kxtest {

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path =
        std::filesystem::temp_directory_path() /
        ("kestrix-" + std::string(info ? info->name() : "test") + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An embedded host on a scratch settings folder, installed for the test's lifetime.
class HostTest : public ::testing::Test {
 protected:
  HostTest() : m_host(kx::EmbeddedHostOptions{m_scratch / "config"}) { m_host.Install(); }
  kx::Document& Doc() { return m_host.Doc(); }

  ScratchFolder m_scratch;
  kx::EmbeddedHost m_host;
};

struct Move {
  long x;
  long y;
  int mode;
  bool operator==(const Move&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Move& m) {
  return os << "(" << m.x << ", " << m.y << ", mode " << m.mode << ")";
}

// Records sendxyNoW; every other call succeeds doing nothing.
class RecordingDriver final : public kx::ICutterDriver {
 public:
  RecordingDriver() { kx::InstallCutterDriver(this); }
  ~RecordingDriver() override { kx::InstallCutterDriver(nullptr); }
  int DEV_Load() override { return 1; }
  int DEV_LoadPenData(PENDATA*) override { return 1; }
  int LoadCutData(CUTDATA*) override { return 1; }
  int SetPlotResolNew(int, CUTDATA*) override { return 1; }
  int StartPrinter(HWND, int, JOBDATA*) override { return 1; }
  int DEV_Initial(PENDATA, int, int) override { return 1; }
  int DEV_SendInfo(int, std::int32_t*) override { return 1; }
  int EndPrinter(HWND, JOBDATA*) override { return 1; }
  int DEV_Unload() override { return 1; }
  void ResetCutStatics(int) override {}
  int GetPortIndexFromName(const char*) override { return 0; }
  int GetWindowsPortTypeAndName(int, int*, char*) override { return 0; }
  int GetPlotterData(int, int, void*) override { return 0; }
  int sendxyNoW(long x, long y, int mode) override {
    moves.push_back(Move{x, y, mode});
    return 1;
  }

  std::vector<Move> moves;
};

}  // namespace kxtest
