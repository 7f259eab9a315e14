// The body of each libFuzzer entry: one input through a target, a broken promise is a crash.
// Threads: bound to one thread (libFuzzer's).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "tests/support/Scratch.h"

namespace kx::test {

// A folder of this process's own for the targets that read files, removed when it exits.
inline const std::filesystem::path& FuzzFolder() {
  static const ScratchFolder folder;
  return folder.Path();
}

inline int Report(const std::string& what) {
  if (!what.empty()) {
    std::cerr << "broken promise: " << what << "\n";
    std::abort();
  }
  return 0;
}

}  // namespace kx::test
