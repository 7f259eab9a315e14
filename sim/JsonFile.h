// Reading a JSON file a user wrote (a world file) with limits that keep a bad one harmless.
// Threads: reentrant.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace kx {

// Far above any world file's needs; a file beyond them is refused before it is parsed.
inline constexpr std::size_t kMaxJsonFileBytes = 1 << 20;
inline constexpr int kMaxJsonDepth = 16;

// Reads the whole file at path into *text. Refuses, with *error naming the file ("w.json: ..."),
// a path that cannot be opened, that is not a regular file (a folder, a device, a pipe) or that
// is larger than kMaxJsonFileBytes; only that many bytes (and one more) are ever read.
bool ReadJsonFileText(const std::string& path, std::string* text, std::string* error);

// Parses text as one JSON object into *root. Refuses, with *error starting "name: ", text longer
// than kMaxJsonFileBytes, a NUL byte, nesting deeper than kMaxJsonDepth, a key given twice in one
// object, content after the object and anything that is not JSON; *root is then unchanged.
bool ParseJsonObject(const std::string& text, const std::string& name, nlohmann::json* root,
                     std::string* error);

// A key or other text from a file as it may be printed: control characters and bytes outside
// ASCII escaped (\u001b, \xff), quotes and backslashes too, cut after shown characters with "...".
std::string PrintableText(const std::string& text, std::size_t shown = 60);

}  // namespace kx
