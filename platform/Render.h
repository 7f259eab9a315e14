// A window drawn to an image: the way to look at a dialog without a display.
// Threads: thread-safe (a picture may be blitted by the camera thread meanwhile).
#pragma once

#include <functional>
#include <string>

#include <opencv2/core.hpp>

#include "platform/Wnd.h"

namespace kx {

// How texts are shown: the host can map its text keys to what a person reads (a translation
// service for "(*v*)" keys, say). Identity when none is set; null resets it.
using DisplayTextFilter = std::function<std::string(const std::string&)>;
void SetDisplayTextFilter(DisplayTextFilter filter);
// A text as a person reads it: through the filter.
std::string DisplayText(const std::string& raw);

// The window and its visible children as 8-bit BGR pixels the size of its window rectangle:
// frame and caption for top-level dialogs, controls with texts, states and pictures, disabled
// controls greyed. Empty for an object without window. Safe while other threads blit.
cv::Mat RenderWindow(const CWnd& window);
// The same for a window named by its handle (from any thread: nothing of the window's object is
// touched); empty when hwnd names no window.
cv::Mat RenderWindow(HWND hwnd);
// Writes RenderWindow as PNG; false (reason in the log) when there is nothing to draw or the file
// cannot be written.
bool SaveWindowPng(const CWnd& window, const std::string& path);

}  // namespace kx
