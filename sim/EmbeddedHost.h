// The embedded default host: document, settings, translation and cutting in one installable object.
#pragma once

#include <filesystem>
#include <string>

#include "host/Host.h"
#include "sim/Document.h"
#include "sim/SettingsStore.h"
#include "sim/TranslationCatalog.h"

namespace kx {

struct EmbeddedHostOptions {
  std::filesystem::path configFolder = SettingsStore::DefaultFolder();
  std::filesystem::path catalogFolder = Translator::DefaultCatalogFolder();
  std::string language = "en";
};

// Owns one of each service. Install() makes it the host of every window; the destructor
// uninstalls it when it is still the installed host.
class EmbeddedHost final : public IHost {
 public:
  explicit EmbeddedHost(const EmbeddedHostOptions& options = {});
  ~EmbeddedHost() override;
  EmbeddedHost(const EmbeddedHost&) = delete;
  EmbeddedHost& operator=(const EmbeddedHost&) = delete;

  void Install() { InstallHost(this); }

  Document& Doc() { return m_document; }
  SettingsStore& Store() { return m_settings; }
  kx::Translator& Texts() { return m_translator; }

  IObjectDatabase& Database() override { return m_document; }
  ISettingsStore& Settings() override { return m_settings; }
  ITranslator& Translator() override { return m_translator; }
  void CutSection(const CQvSimpleList<uint64>& list, const TM* tm) override;

 private:
  Document m_document;
  SettingsStore m_settings;
  kx::Translator m_translator;
};

}  // namespace kx
