// The parsers of user files under seeded mutations of the shipped examples: no crash, no hang,
// no broken promise. Each target runs a fixed number of inputs, the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Log.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/Mutator.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

// The seed corpus of a parser: the files of tests/fuzz/corpus/<name>/ (the examples of docs/,
// a saved job, settings as people write them), which the libFuzzer targets start from too.
std::vector<std::string> Corpus(const std::string& name) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(KX_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / name))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> corpus;
  for (const auto& file : files) corpus.push_back(ReadText(file));
  return corpus;
}

struct FuzzCounts {
  int accepted = 0;
  int refused = 0;
};

// Runs target on count mutants; a mutant that was accepted joins the corpus now and then, so
// that later mutations reach further into what the parser reads. The target returns what went
// wrong and sets *accepted.
template <typename Target>
FuzzCounts Fuzz(std::vector<std::string> corpus, int count, std::uint64_t seed, Target target) {
  FuzzCounts counts;
  Mutator mutator(seed);
  int failures = 0;
  bool accepted = false;
  for (const std::string& seedInput : corpus) {
    const ScopedLogCapture quiet;
    EXPECT_EQ(target(seedInput, &accepted), "") << "seed input:\n" << seedInput;
    EXPECT_TRUE(accepted) << "seed input refused:\n" << seedInput;
  }
  for (int i = 0; i < count && failures < 5; ++i) {
    const std::string input = mutator.Next(corpus);
    const ScopedLogCapture quiet;  // the parsers' reports of bad lines
    const std::string what = target(input, &accepted);
    if (what.empty()) {
      ++(accepted ? counts.accepted : counts.refused);
      if (accepted && i % 8 == 0 && corpus.size() < 400) corpus.push_back(input);
      continue;
    }
    ++failures;
    ADD_FAILURE() << "input " << i << ": " << what << "\ninput (first 400 bytes):\n"
                  << input.substr(0, 400);
  }
  return counts;
}

TEST(Fuzz, WorldFiles) {
  const std::vector<std::string> corpus = Corpus("world");
  ASSERT_GE(corpus.size(), 2u);
  const FuzzCounts n = Fuzz(corpus, 100000, 19, [](const std::string& input, bool* accepted) {
    return FuzzWorldFile(input, accepted);
  });
  // Both ways through the parser were taken often.
  EXPECT_GT(n.accepted, 500);
  EXPECT_GT(n.refused, 10000);
}

TEST(Fuzz, DocumentFiles) {
  const ScratchFolder dir;
  const std::vector<std::string> corpus = Corpus("document");
  ASSERT_GE(corpus.size(), 1u);
  const FuzzCounts n = Fuzz(corpus, 5000, 19, [&](const std::string& input, bool* accepted) {
    return FuzzDocumentFile(input, dir.Path(), accepted);
  });
  EXPECT_GT(n.accepted, 100);
  EXPECT_GT(n.refused, 1000);
}

TEST(Fuzz, SettingsFiles) {
  const ScratchFolder dir;
  const std::vector<std::string> corpus = Corpus("settings");
  ASSERT_GE(corpus.size(), 3u);
  const FuzzCounts n = Fuzz(corpus, 2000, 19, [&](const std::string& input, bool* accepted) {
    return FuzzSettingsFile(input, dir / "config", accepted);
  });
  EXPECT_GT(n.accepted, 100);
  EXPECT_GT(n.refused, 100);
}

}  // namespace
}  // namespace kx::test
