// The translation service as the module calls it, forwarding to the installed host.
#include "host/Translation.h"

#include <algorithm>
#include <cstring>

#include "host/Host.h"
#include "platform/Operator.h"
#include "platform/Wnd.h"

namespace kx {
std::string Translate(const std::string& text) {
  IHost* host = Host();
  return host ? host->Translator().Translate(text) : text;
}
}  // namespace kx

void TString(const char* text, char* buffer, int size) {
  if (!buffer || size < 1) return;
  const std::string translated = kx::Translate(text ? text : "");
  std::size_t n = std::min(translated.size(), static_cast<std::size_t>(size - 1));
  // Back up over continuation bytes so a cut never leaves half a UTF-8 character.
  if (n < translated.size())
    while (n > 0 && (static_cast<unsigned char>(translated[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, translated.data(), n);
  buffer[n] = '\0';
}

int TMessageBoxDirect(HWND owner, const char* text, const char* caption, UINT flags) {
  const std::string t = kx::Translate(text ? text : "");
  const std::string c = kx::Translate(caption ? caption : "");
  return MessageBox(owner, t.c_str(), c.c_str(), flags);
}

int TMessageBox(CWnd* owner, const char* text, const char* caption, UINT flags) {
  return TMessageBoxDirect(owner ? owner->GetSafeHwnd() : nullptr, text, caption, flags);
}

void TranslateDialog(CWnd* window) {
  if (!window || !window->GetSafeHwnd()) return;
  window->SetWindowText(kx::Translate(window->GetWindowText()));
  for (CWnd* child = window->GetWindow(GW_CHILD); child; child = child->GetWindow(GW_HWNDNEXT))
    child->SetWindowText(kx::Translate(child->GetWindowText()));
}
