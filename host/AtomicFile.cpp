// Writing a file so that readers see either the old content or the whole new one.
#include "host/AtomicFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kx {

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string* error) {
  const std::filesystem::path temp = path.string() + ".tmp";
  auto fail = [&](const char* step) {
    if (error) *error = path.string() + ": " + step + " failed: " + std::strerror(errno);
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  };
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) return fail("creating the temporary file");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const bool flushed = written && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
  const bool closed = std::fclose(out) == 0;
  if (!written) return fail("writing");
  if (!flushed || !closed) return fail("flushing");
  if (std::rename(temp.c_str(), path.c_str()) != 0) return fail("renaming into place");
  return true;
}

}  // namespace kx
