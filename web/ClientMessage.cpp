// What a browser may ask of the server: one JSON message of the page, checked before anything acts.
#include "web/ClientMessage.h"

#include <limits>
#include <map>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/WinDefs.h"

namespace kx {

namespace {

using nlohmann::json;

struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const json& Key(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end()) throw Refused(std::string("key \"") + key + "\" is missing");
  return *it;
}

std::int64_t Integer(const json& j, const char* key, std::int64_t min, std::int64_t max) {
  const json& v = Key(j, key);
  if (!v.is_number_integer()) throw Refused(std::string("key \"") + key + "\" must be an integer");
  const bool huge =
      v.is_number_unsigned() &&
      v.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  const std::int64_t n = huge ? 0 : v.get<std::int64_t>();
  if (huge || n < min || n > max)
    throw Refused(std::string("key \"") + key + "\" must lie between " + std::to_string(min) +
                  " and " + std::to_string(max));
  return n;
}

bool Flag(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end()) return false;
  if (!it->is_boolean()) throw Refused(std::string("key \"") + key + "\" must be true or false");
  return it->get<bool>();
}

std::string Text(const json& j, const char* key, std::size_t maxLength) {
  const json& v = Key(j, key);
  if (!v.is_string()) throw Refused(std::string("key \"") + key + "\" must be a text");
  std::string s = v.get<std::string>();
  if (s.size() > maxLength)
    throw Refused(std::string("key \"") + key + "\" is longer than " + std::to_string(maxLength) +
                  " bytes");
  return s;
}

constexpr std::int64_t kMaxCoordinate = 100000;
constexpr std::int64_t kMaxId = 0xFFFF;

std::uint64_t Window(const json& j) {
  return static_cast<std::uint64_t>(
      Integer(j, "window", 1, std::numeric_limits<std::int64_t>::max()));
}

ClientMessage Read(const json& j) {
  if (!j.is_object()) throw Refused("a message must be a JSON object");
  const std::string type = Text(j, "type", 32);
  ClientMessage m;
  if (type == "click") {
    m.action = ClientAction::Click;
    m.window = Window(j);
    m.x = static_cast<int>(Integer(j, "x", 0, kMaxCoordinate));
    m.y = static_cast<int>(Integer(j, "y", 0, kMaxCoordinate));
    m.ctrl = Flag(j, "ctrl");
    m.shift = Flag(j, "shift");
  } else if (type == "key") {
    m.action = ClientAction::Key;
    m.window = Window(j);
    m.text = Text(j, "key", 16);
    if (m.text != "Enter" && m.text != "Escape")
      throw Refused("key \"key\" must be \"Enter\" or \"Escape\"");
  } else if (type == "text") {
    m.action = ClientAction::Text;
    m.window = Window(j);
    m.control = static_cast<int>(Integer(j, "control", 1, kMaxId));
    m.text = Text(j, "text", kMaxTypedText);
  } else if (type == "select" || type == "slider") {
    m.action = type == "select" ? ClientAction::Select : ClientAction::Slider;
    m.window = Window(j);
    m.control = static_cast<int>(Integer(j, "control", 1, kMaxId));
    m.index = static_cast<int>(
        Integer(j, "index", type == "select" ? 0 : -kMaxCoordinate, kMaxCoordinate));
  } else if (type == "close") {
    m.action = ClientAction::Close;
    m.window = Window(j);
  } else if (type == "answer") {
    m.action = ClientAction::Answer;
    m.box =
        static_cast<std::uint64_t>(Integer(j, "box", 1, std::numeric_limits<std::int64_t>::max()));
    static const std::map<std::string, int> kButtons = {
        {"OK", IDOK}, {"Cancel", IDCANCEL}, {"Yes", IDYES}, {"No", IDNO}};
    const std::string button = Text(j, "button", 16);
    auto it = kButtons.find(button);
    if (it == kButtons.end())
      throw Refused("key \"button\" must be \"OK\", \"Cancel\", \"Yes\" or \"No\"");
    m.button = it->second;
  } else if (type == "command") {
    m.action = ClientAction::Command;
    m.text = Text(j, "name", 32);
    if (m.text == "open" || m.text == "save") m.file = Text(j, "file", 255);
    if (m.text == "world") {
      // A world file of the job folder, or the present world with another grid of copies.
      if (j.contains("file")) {
        m.file = Text(j, "file", 255);
      } else {
        m.columns = static_cast<int>(Integer(j, "columns", 1, kMaxWorldCopies));
        m.rows = static_cast<int>(Integer(j, "rows", 1, kMaxWorldCopies));
      }
    }
  } else {
    throw Refused("unknown message type \"" + type + "\"");
  }
  return m;
}

}  // namespace

bool ParseClientMessage(const std::string& text, ClientMessage* message, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (text.size() > kMaxClientMessage)
    return fail("the message is longer than " + std::to_string(kMaxClientMessage) + " bytes");
  try {
    const ClientMessage m = Read(json::parse(text));
    if (message) *message = m;
    return true;
  } catch (const json::exception& e) {
    return fail(std::string("not a JSON message: ") + e.what());
  } catch (const Refused& e) {
    return fail(e.what());
  }
}

}  // namespace kx
