// The translation service as the module calls it: texts, message boxes, dialogs.
#pragma once

#include <string>

#include "common/WinTypes.h"

namespace kx {
// The text translated by the installed host; unchanged without a host or when it does not start
// with "(*v*)".
std::string Translate(const std::string& text);
}  // namespace kx

// Translates text into buffer, cut to size - 1 bytes without splitting a UTF-8 character and always
// terminated. Nothing happens for a null buffer or a size below 1.
void TString(const char* text, char* buffer, int size);
