// The translation service as the module calls it: texts, message boxes, dialogs.
// Threads: texts are thread-safe; message boxes and TranslateDialog are bound to the window's
// thread.
#pragma once

#include <string>

#include "common/WinTypes.h"

class CWnd;

namespace kx {
// The text translated by the installed host; unchanged without a host or when it does not start
// with "(*v*)".
std::string Translate(const std::string& text);
}  // namespace kx

// Translates text into buffer, cut to size - 1 bytes without splitting a UTF-8 character and always
// terminated. Nothing happens for a null buffer or a size below 1.
void TString(const char* text, char* buffer, int size);

// A task-modal message box with text and caption translated; returns the button pressed.
int TMessageBox(CWnd* owner, const char* text, const char* caption, UINT flags);
int TMessageBoxDirect(HWND owner, const char* text, const char* caption, UINT flags);

// Translates the window's own text and the texts of all its controls in place.
void TranslateDialog(CWnd* window);
