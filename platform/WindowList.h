// The windows a person would see on a screen, described for a front end that draws them elsewhere.
// Threads: thread-safe (read under the framework's window lock, from any thread).
#pragma once

#include <string>
#include <vector>

#include "platform/Resources.h"
#include "platform/WinDefs.h"

namespace kx {

// One visible control of a top-level window. rect is in the window's picture (RenderWindow), so a
// point of the picture lies on the control when rect holds it.
struct ShownControl {
  HWND hwnd = nullptr;
  HWND dialog = nullptr;  // the dialog (or page) whose control it is: its notifications go there
  int id = 0;
  ControlKind kind = ControlKind::Static;
  RECT rect{};
  std::string text;  // as shown (through the display text filter)
  bool enabled = true;
  int check = 0;
  std::vector<std::string> items;  // drop-down lists, as shown
  int curSel = -1;
  int rangeMin = 0;
  int rangeMax = 0;
  int pos = 0;
};

// A visible top-level dialog: its title as shown, its screen rectangle, where its caption's close
// box lies in its picture, and its visible controls (drawing order: later ones lie on top).
struct ShownWindow {
  HWND hwnd = nullptr;
  std::string title;
  RECT rect{};
  RECT closeBox{};
  std::vector<ShownControl> controls;
};

// Every visible top-level dialog of every thread, oldest first.
std::vector<ShownWindow> ShownWindows();

// The topmost control of window under point (picture coordinates), or null.
const ShownControl* ControlAt(const ShownWindow& window, POINT point);

}  // namespace kx
