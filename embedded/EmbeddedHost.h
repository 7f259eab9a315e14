// The embedded default host: document, settings, translation, cutting and resources in one
// installable object.
// Threads: the document is shared between the windows' threads and a front end's threads (the
// browser's server): every call through Database(), through a bitmap it hands out and through
// CutSection holds the document lock for that call; any other thread that reads or changes Doc()
// while a window may be open holds LockDocument() for as long as it does. Settings and
// translation are thread-safe. Install and uninstall from one thread.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

  // The document itself, without the lock: for the thread that has it alone (no window open),
  // or under LockDocument().
  Document& Doc() { return m_document; }
  // Holds the document lock until the returned lock goes: no window changes the document
  // meanwhile (their calls wait). Recursive: the holder may call the host's surface itself.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> LockDocument() {
    return std::unique_lock<std::recursive_mutex>(m_documentMutex);
  }
  SettingsStore& Store() { return m_settings; }
  kx::Translator& Texts() { return m_translator; }
  HostResources& Resources() { return m_resources; }

  IObjectDatabase& Database() override;
  ISettingsStore& Settings() override { return m_settings; }
  ITranslator& Translator() override { return m_translator; }
  bool CutSection(const CQvSimpleList<uint64>& list, const TM* tm) override;

 private:
  class LockedDatabase;

  std::recursive_mutex m_documentMutex;
  Document m_document;
  std::unique_ptr<LockedDatabase> m_database;  // the document's calls, each under the lock
  SettingsStore m_settings;
  kx::Translator m_translator;
  HostResources m_resources;
};

}  // namespace kx
