// The embedded host's translation service: compiled gettext catalogs, one per language.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "host/Host.h"

namespace kx {

// Reads a compiled gettext catalog (.mo, either byte order) into msgid -> msgstr, skipping the
// header entry and keeping the singular form of plural entries. False with a message naming the
// file and the problem for a missing, truncated or malformed file.
bool LoadMoCatalog(const std::filesystem::path& path, std::map<std::string, std::string>* catalog,
                   std::string* error);

// Translates "(*v*)" keys through <folder>/<language>/LC_MESSAGES/kestrix.mo. The catalog is read
// directly rather than through the C library's gettext so that the choice of language does not
// depend on the process locale and can change at run time. Thread-safe.
class Translator final : public ITranslator {
 public:
  static constexpr const char* kPrefix = "(*v*)";

  // Loads the language's catalog; a missing catalog leaves the fallback (text after the prefix)
  // and is reported by LastError().
  explicit Translator(std::filesystem::path folder = DefaultCatalogFolder(),
                      const std::string& language = "en");

  // The first of <executable dir>/locale, <executable dir>/../locale and the build tree's catalog
  // folder that exists.
  static std::filesystem::path DefaultCatalogFolder();

  // Switches language; false (language and catalog unchanged, LastError set) when its catalog
  // cannot be read.
  bool SetLanguage(const std::string& language);
  std::string Language() const;
  std::string LastError() const;
  // The catalog's entry for key, nothing when the catalog lacks it.
  std::optional<std::string> Lookup(const std::string& key) const;

  std::string Translate(std::string_view text) override;

 private:
  std::filesystem::path m_folder;
  mutable std::mutex m_mutex;
  std::string m_language;
  std::map<std::string, std::string> m_catalog;
  std::string m_lastError;
};

}  // namespace kx
