// One fuzz target per parser of user files: the world file, the document file, the settings file.
// Threads: reentrant (each call works in its own folder).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kx::test {

// Each reads one input as a user's file would be read and checks what the parser promises.
// Returns what went wrong, empty when nothing did; a crash or a hang shows by itself. *accepted
// tells whether the parser took the input (for settings: found nothing wrong in it).

// Accepted: every value is in range. Refused: the message names the file, holds no control
// character, and the setup given stays as it was.
std::string FuzzWorldFile(std::string_view input, bool* accepted);

// Accepted: every object's bounds can be had, and the document saves and loads back with the
// same handles. Refused: the message names the file and the document in memory is unchanged.
std::string FuzzDocumentFile(std::string_view input, const std::filesystem::path& folder,
                             bool* accepted);

// Every key readable before a write reads the same after it, from a store that reads the file
// afresh; a damaged file is kept whole beside it; problems are short and printable.
std::string FuzzSettingsFile(std::string_view input, const std::filesystem::path& folder,
                             bool* accepted);

}  // namespace kx::test
