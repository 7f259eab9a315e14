// Reading a JSON file a user wrote (a world file) with limits that keep a bad one harmless.
#include "sim/JsonFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <vector>

namespace kx {
namespace {

using nlohmann::json;

// What the parser's callback found wrong; thrown out of the parse to stop it at once.
struct Refused {
  std::string what;
};

// The key path of the value being parsed, kept from the parser's events.
struct Level {
  bool array = false;
  std::string path;
  std::size_t index = 0;  // arrays: the next element's index
  std::string lastKey;    // objects: the key whose value comes next
  std::set<std::string> keys;
};

std::string ChildPath(const Level& parent) {
  if (parent.array) return parent.path + "[" + std::to_string(parent.index) + "]";
  const std::string key = PrintableText(parent.lastKey);
  return parent.path.empty() ? key : parent.path + "." + key;
}

}  // namespace

std::string PrintableText(const std::string& key, std::size_t shown) {
  static const char* const kHex = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < key.size() && i < shown; ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    if (c < 0x20 || c == 0x7f) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c >= 0x80) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  if (key.size() > shown) out += "...";
  return out;
}

bool ReadJsonFileText(const std::string& path, std::string* text, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = path + ": " + what;
    return false;
  };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return fail(std::string("cannot open the world file: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return fail("is a folder, not a world file");
  if (!S_ISREG(info.st_mode)) return fail("is not a regular file, not a world file");
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxJsonFileBytes)
    return fail("the world file is larger than " + std::to_string(kMaxJsonFileBytes) + " bytes");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot open the world file");
  // The file may have grown since: never read more than the limit and one byte.
  std::string buffer(kMaxJsonFileBytes + 1, '\0');
  in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  if (in.bad()) return fail("cannot read the world file");
  buffer.resize(static_cast<std::size_t>(in.gcount()));
  if (buffer.size() > kMaxJsonFileBytes)
    return fail("the world file is larger than " + std::to_string(kMaxJsonFileBytes) + " bytes");
  if (text) *text = std::move(buffer);
  return true;
}

bool ParseJsonObject(const std::string& text, const std::string& name, json* root,
                     std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = name + ": " + what;
    return false;
  };
  if (text.size() > kMaxJsonFileBytes)
    return fail("the text is longer than " + std::to_string(kMaxJsonFileBytes) + " bytes");
  if (const auto nul = text.find('\0'); nul != std::string::npos)
    return fail("not valid JSON: a NUL byte at byte " + std::to_string(nul + 1));

  std::vector<Level> levels;
  // An element has ended: the array holding it moves on to its next index.
  auto ended = [&levels] {
    if (!levels.empty() && levels.back().array) ++levels.back().index;
  };
  auto open = [&](bool array, int depth) {
    if (depth >= kMaxJsonDepth)
      throw Refused{"values nested deeper than " + std::to_string(kMaxJsonDepth) + " levels"};
    Level level;
    level.array = array;
    if (!levels.empty()) level.path = ChildPath(levels.back());
    levels.push_back(std::move(level));
  };
  const json::parser_callback_t callback = [&](int depth, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
        open(false, depth);
        break;
      case json::parse_event_t::array_start:
        open(true, depth);
        break;
      case json::parse_event_t::key: {
        Level& level = levels.back();
        level.lastKey = parsed.get<std::string>();
        if (!level.keys.insert(level.lastKey).second)
          throw Refused{"key \"" + ChildPath(level) + "\" is given twice"};
        break;
      }
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        levels.pop_back();
        ended();
        break;
      case json::parse_event_t::value:
        ended();
        break;
    }
    return true;
  };
  json parsed;
  try {
    parsed = json::parse(text, callback);
  } catch (const Refused& r) {
    return fail(r.what);
  } catch (const json::exception& e) {
    return fail(std::string("not valid JSON: ") + PrintableText(e.what(), 240));
  }
  if (!parsed.is_object()) return fail("the world must be a JSON object");
  if (root) *root = std::move(parsed);
  return true;
}

}  // namespace kx
