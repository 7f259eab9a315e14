// What a browser may ask of the server: one JSON message of the page, checked before anything acts.
// Threads: reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx {

enum class ClientAction {
  Click,    // a left click at (x, y) of window's picture, with Ctrl and Shift
  Key,      // Enter or Escape pressed in window
  Text,     // text typed into edit control of window
  Select,   // entry index chosen in drop-down list control of window
  Slider,   // slider control of window dragged to index and let go
  Close,    // the close box of window's caption
  Answer,   // button answers message box box
  Command,  // a menu command, with an argument (a file name) for some
};

struct ClientMessage {
  ClientAction action = ClientAction::Click;
  std::uint64_t window = 0;
  int x = 0;
  int y = 0;
  bool ctrl = false;
  bool shift = false;
  int control = 0;
  int index = 0;
  std::string text;  // Key: "Enter" or "Escape"; Text: what was typed; Command: its name
  std::string file;  // Command: a file name for "open" and "save", a world file for "world"
  int columns = 0;   // Command "world" without a file: copies across and along the sheet
  int rows = 0;
  std::uint64_t box = 0;
  int button = 0;  // Answer: IDOK, IDCANCEL, IDYES or IDNO
};

// The largest message the server reads; anything longer is refused unread.
inline constexpr std::size_t kMaxClientMessage = 16 * 1024;
// The longest text a user may type into an edit.
inline constexpr std::size_t kMaxTypedText = 256;
// The most copies across or along a sheet a new world may be asked for.
inline constexpr int kMaxWorldCopies = 20;

// Reads one message. False with *error saying what is wrong (not JSON, an unknown "type", a
// missing or mistyped key, a value out of range); *message is then unchanged.
bool ParseClientMessage(const std::string& json, ClientMessage* message, std::string* error);

}  // namespace kx
