// The embedded host's translation service: compiled gettext catalogs, one per language.
#include "embedded/TranslationCatalog.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace kx {
namespace fs = std::filesystem;
namespace {

constexpr std::uint32_t kMoMagic = 0x950412de;
constexpr std::uint32_t kMoMagicSwapped = 0xde120495;

std::uint32_t Swap(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
}

fs::path ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

}  // namespace

bool LoadMoCatalog(const fs::path& path, std::map<std::string, std::string>* catalog,
                   std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = "translation catalog " + path.string() + ": " + what;
    return false;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot be opened");
  const std::vector<char> data((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
  const std::size_t size = data.size();
  if (size < 28) return fail("too short for a catalog header (" + std::to_string(size) + " bytes)");
  bool swapped = false;
  auto word = [&](std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, data.data() + offset, 4);
    return swapped ? Swap(v) : v;
  };
  const std::uint32_t magic = word(0);
  if (magic == kMoMagicSwapped) {
    swapped = true;
  } else if (magic != kMoMagic) {
    return fail("not a compiled gettext catalog (bad magic number)");
  }
  const std::uint32_t count = word(8);
  const std::size_t originals = word(12);
  const std::size_t translations = word(16);
  if (originals + std::size_t{count} * 8 > size || translations + std::size_t{count} * 8 > size)
    return fail("string tables reach past the end of the file (truncated?)");
  auto text = [&](std::size_t table, std::uint32_t i, std::string* out) {
    const std::size_t length = word(table + i * 8);
    const std::size_t offset = word(table + i * 8 + 4);
    if (offset + length >= size) return false;  // the terminating NUL must be inside too
    // A plural entry holds its forms separated by NUL; the first is the singular.
    *out = std::string(data.data() + offset, strnlen(data.data() + offset, length));
    return true;
  };
  std::map<std::string, std::string> result;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string id, str;
    if (!text(originals, i, &id) || !text(translations, i, &str))
      return fail("entry " + std::to_string(i) + " reaches past the end of the file (truncated?)");
    if (!id.empty()) result[id] = str;
  }
  if (catalog) *catalog = std::move(result);
  return true;
}

Translator::Translator(fs::path folder, const std::string& language)
    : m_folder(std::move(folder)), m_language(language) {
  SetLanguage(language);
}

fs::path Translator::DefaultCatalogFolder() {
  const fs::path exe = ExecutableFolder();
  std::error_code ec;
  for (const fs::path& candidate : {exe / "locale", exe.parent_path() / "locale"})
    if (!exe.empty() && fs::is_directory(candidate, ec)) return candidate;
#ifdef KX_CATALOG_BUILD_DIR
  return fs::path(KX_CATALOG_BUILD_DIR);
#else
  return exe / "locale";
#endif
}

bool Translator::SetLanguage(const std::string& language) {
  std::map<std::string, std::string> catalog;
  std::string error;
  const bool ok =
      LoadMoCatalog(m_folder / language / "LC_MESSAGES" / "kestrix.mo", &catalog, &error);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lastError = error;
  if (!ok) return false;
  m_language = language;
  m_catalog = std::move(catalog);
  return true;
}

std::string Translator::Language() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_language;
}

std::string Translator::LastError() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lastError;
}

std::optional<std::string> Translator::Lookup(const std::string& key) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_catalog.find(key);
  if (it == m_catalog.end()) return std::nullopt;
  return it->second;
}

std::string Translator::Translate(std::string_view text) {
  const std::size_t prefix = std::strlen(kPrefix);
  if (text.substr(0, prefix) != kPrefix) return std::string(text);
  if (auto found = Lookup(std::string(text)); found && !found->empty()) return *found;
  return std::string(text.substr(prefix));
}

}  // namespace kx
