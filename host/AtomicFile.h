// Writing a file so that readers see either the old content or the whole new one.
// Threads: reentrant.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kx {

// Writes bytes to <path>.tmp, flushes it to disk and renames it over path, creating the parent
// folder when needed. False, with a message naming the file and the failing step in *error (when
// not null), if any step fails; path is then untouched and the temporary file removed.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         std::string* error = nullptr);

}  // namespace kx
