// One fuzz target per parser of user files: the world file, the document file, the settings file.
#include "tests/fuzz/FuzzTargets.h"

#include <set>
#include <utility>
#include <vector>

#include "app/JobFile.h"
#include "embedded/DocFile.h"
#include "embedded/Document.h"
#include "embedded/SettingsStore.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

bool HasControl(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

std::string FuzzWorldFile(std::string_view input, bool* accepted) {
  const std::string text(input);
  MainJobSetup setup;
  setup.plan.copiesX = 77;
  std::string error;
  *accepted = ParseJobJson(text, "w.json", &setup, &error);
  if (*accepted) {
    const std::string invalid = ValidateWorldOptions(setup.world);
    if (!invalid.empty()) return "accepted a world out of range: " + invalid;
    return {};
  }
  if (error.rfind("w.json: ", 0) != 0) return "the message does not name the file: " + error;
  if (HasControl(error)) return "the message holds a control character: " + error;
  if (setup.plan.copiesX != 77) return "a refused file changed the setup";
  WorldOptions world;
  world.camera.scale = 3.25;
  const bool worldAccepted = ParseWorldJson(text, "w.json", &world, &error);
  if (worldAccepted && !ValidateWorldOptions(world).empty()) return "accepted a world out of range";
  if (!worldAccepted && world.camera.scale != 3.25) return "a refused world changed the options";
  return {};
}

std::string FuzzDocumentFile(std::string_view input, const fs::path& folder, bool* accepted) {
  const fs::path file = folder / "fuzz.kxdoc";
  WriteText(file, std::string(input));
  Document doc;
  const uint64 keep = doc.AddPath(RectanglePath(0, 0, 1, 1));
  std::string error;
  *accepted = LoadDocument(doc, file, &error);
  if (!*accepted) {
    if (error.rfind("document " + file.string() + ": ", 0) != 0)
      return "the message does not name the file: " + error;
    if (doc.Objects() != std::vector<uint64>{keep})
      return "a refused document changed the one open";
    return {};
  }
  std::set<uint64> handles;
  for (uint64 h : doc.Objects()) {
    if (h == 0 || !handles.insert(h).second) return "a loaded handle is null or used twice";
    BOUNDS b;
    if (!doc.GetBounds(h, &b)) return "no bounds for loaded object " + std::to_string(h);
  }
  if (!doc.Objects().empty()) {
    const uint64 copy = doc.CopyObject(doc.Objects().front());
    if (copy == 0 || handles.count(copy)) return "a copy got the null handle or one in use";
    doc.DestroyObject(copy);
  }
  const fs::path again = folder / "again.kxdoc";
  if (!SaveDocument(doc, again, &error)) return "a loaded document cannot be saved: " + error;
  Document reread;
  if (!LoadDocument(reread, again, &error)) return "a saved document cannot be loaded: " + error;
  if (reread.Objects() != doc.Objects()) return "save and load changed the handles";
  return {};
}

std::string FuzzSettingsFile(std::string_view input, const fs::path& folder, bool* accepted) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  SettingsStore store(folder);
  const fs::path file = store.FileOf(1);
  WriteText(file, std::string(input));

  // Every section and key the file might hold, as the store would name them.
  std::vector<std::string> sections{"Kestrix Setup"}, keys{"Scale"};
  std::string line;
  for (std::size_t i = 0; i <= input.size() && sections.size() + keys.size() < 60; ++i) {
    if (i < input.size() && input[i] != '\n') {
      line += input[i];
      continue;
    }
    const std::string t = Trim(line);
    line.clear();
    if (t.size() > 2 && t.front() == '[' && t.back() == ']')
      sections.push_back(Trim(std::string_view(t).substr(1, t.size() - 2)));
    else if (const auto eq = t.find('='); eq != std::string::npos && eq > 0)
      keys.push_back(Trim(std::string_view(t).substr(0, eq)));
  }
  std::vector<std::pair<std::pair<std::string, std::string>, std::optional<std::string>>> before;
  for (const std::string& s : sections)
    for (const std::string& k : keys) before.push_back({{s, k}, store.Read(1, s, k)});
  const bool damaged = !store.Problems().empty();
  *accepted = !damaged;
  for (const std::string& p : store.Problems()) {
    if (HasControl(p)) return "a problem holds a control character: " + p.substr(0, 200);
    if (p.size() > file.string().size() + 200) return "a problem is too long: " + p.substr(0, 200);
  }

  if (!store.Write(1, "Kestrix Setup", "Fuzz Written", "1")) return "the write failed";
  if (damaged && ReadText(file.string() + ".corrupt") != input)
    return "the damaged file was not kept whole";
  SettingsStore fresh(folder);
  if (fresh.Read(1, "Kestrix Setup", "Fuzz Written") != "1") return "the written key is lost";
  for (const auto& [where, value] : before) {
    if (where.second == "Fuzz Written" && where.first == "Kestrix Setup") continue;
    if (fresh.Read(1, where.first, where.second) != value)
      return "key '" + where.first + "' / '" + where.second + "' changed on a rewrite";
  }
  if (!fresh.Problems().empty()) return "the rewritten file has problems: " + fresh.Problems()[0];
  return {};
}

}  // namespace kx::test
