// The embedded default host: document, settings, translation, cutting and resources in one
// installable object.
#include "embedded/EmbeddedHost.h"

#include "embedded/CutMachine.h"
#include "host/Translation.h"
#include "platform/Operator.h"
#include "platform/Render.h"

namespace kx {

EmbeddedHost::EmbeddedHost(const EmbeddedHostOptions& options)
    : m_settings(options.configFolder), m_translator(options.catalogFolder, options.language) {
  // Whoever changed a setting learns at once that it was not kept, before anything goes on
  // with values the next start would not see.
  m_settings.SetFailureReporter([](const std::string& what) {
    const std::string text =
        "The settings could not be saved:\n" + what + "\nThe new values were not stored.";
    ::MessageBox(nullptr, text.c_str(), "Settings", MB_OK | MB_ICONERROR);
  });
}

EmbeddedHost::~EmbeddedHost() {
  if (Host() == this) {
    InstallHost(nullptr);
    SetDisplayTextFilter(nullptr);
  }
  if (kx::Resources() == &m_resources) InstallResources(nullptr);
}

void EmbeddedHost::Install() {
  InstallHost(this);
  InstallResources(&m_resources);
  // Windows show what a person reads: "(*v*)" keys through the translation service.
  SetDisplayTextFilter([](const std::string& text) { return Translate(text); });
}

bool EmbeddedHost::CutSection(const CQvSimpleList<uint64>& list, const TM* tm) {
  return kx::CutSection(m_document, list, tm) >= 0;
}

}  // namespace kx
