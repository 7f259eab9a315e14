// The embedded default host: document, settings, translation, cutting and resources in one
// installable object.
// Threads: as the host interfaces say (host/Host.h); install and uninstall from one thread.
#pragma once

#include <filesystem>
#include <string>

#include "embedded/Document.h"
#include "embedded/Resources.h"
#include "embedded/SettingsStore.h"
#include "embedded/TranslationCatalog.h"
#include "host/Host.h"

namespace kx {

struct EmbeddedHostOptions {
  std::filesystem::path configFolder = SettingsStore::DefaultFolder();
  std::filesystem::path catalogFolder = Translator::DefaultCatalogFolder();
  std::string language = "en";
};

// Owns one of each service and the resources. Install() makes it the host of every window and its
// resources the ones the framework looks templates and bitmaps up in; the destructor uninstalls
// each of the two that is still installed.
class EmbeddedHost final : public IHost {
 public:
  explicit EmbeddedHost(const EmbeddedHostOptions& options = {});
  ~EmbeddedHost() override;
  EmbeddedHost(const EmbeddedHost&) = delete;
  EmbeddedHost& operator=(const EmbeddedHost&) = delete;

  void Install();

  Document& Doc() { return m_document; }
  SettingsStore& Store() { return m_settings; }
  kx::Translator& Texts() { return m_translator; }
  HostResources& Resources() { return m_resources; }

  IObjectDatabase& Database() override { return m_document; }
  ISettingsStore& Settings() override { return m_settings; }
  ITranslator& Translator() override { return m_translator; }
  bool CutSection(const CQvSimpleList<uint64>& list, const TM* tm) override;

 private:
  Document m_document;
  SettingsStore m_settings;
  kx::Translator m_translator;
  HostResources m_resources;
};

}  // namespace kx
