// The embedded default host: document, settings, translation and cutting in one installable object.
#include "sim/EmbeddedHost.h"

#include "sim/CutMachine.h"

namespace kx {

EmbeddedHost::EmbeddedHost(const EmbeddedHostOptions& options)
    : m_settings(options.configFolder), m_translator(options.catalogFolder, options.language) {}

EmbeddedHost::~EmbeddedHost() {
  if (Host() == this) InstallHost(nullptr);
}

void EmbeddedHost::CutSection(const CQvSimpleList<uint64>& list, const TM* tm) {
  kx::CutSection(m_document, list, tm);
}

}  // namespace kx
