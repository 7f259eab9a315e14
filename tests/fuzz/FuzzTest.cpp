// The parsers of user files under seeded mutations of the shipped examples: no crash, no hang,
// no broken promise. Each target runs a fixed number of inputs, the same on every run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Log.h"
#include "embedded/DocFile.h"
#include "embedded/Document.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/Mutator.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

// The ```json blocks of a document in docs/.
std::vector<std::string> JsonExamples(const std::string& doc) {
  std::ifstream in(std::string(KX_SOURCE_DIR) + "/docs/" + doc);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  std::vector<std::string> blocks;
  for (std::size_t at = s.find("```json\n"); at != std::string::npos;
       at = s.find("```json\n", at)) {
    at += 8;
    const std::size_t end = s.find("```", at);
    if (end == std::string::npos) break;
    blocks.push_back(s.substr(at, end - at));
    at = end + 3;
  }
  return blocks;
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
  const std::vector<std::string> corpus = JsonExamples("world.md");
  ASSERT_GE(corpus.size(), 2u) << "the examples of docs/world.md are the seed corpus";
  const FuzzCounts n = Fuzz(corpus, 100000, 19, [](const std::string& input, bool* accepted) {
    return FuzzWorldFile(input, accepted);
  });
  // Both ways through the parser were taken often.
  EXPECT_GT(n.accepted, 500);
  EXPECT_GT(n.refused, 10000);
}

TEST(Fuzz, DocumentFiles) {
  const ScratchFolder dir;
  // A saved job: a bitmap, marks and a path with lines and an arc.
  Document doc;
  doc.AddBitmapObject(cv::Mat(6, 8, CV_8UC3, cv::Scalar(20, 200, 90)), 1.0, 2.0, 3.0, 2.0);
  doc.AddRegMark(BOUNDS{1.0, 1.4, 2.0, 2.4});
  doc.AddRegMark(BOUNDS{3.6, 4.0, 2.0, 2.4});
  doc.AddPath({PathSegment::Line({2.0, 2.5}, {2.5, 2.5}),
               PathSegment::Arc({2.5, 3.0}, 0.5, -90.0, 180.0),
               PathSegment::Line({2.5, 3.5}, {2.0, 2.5})});
  std::string error;
  ASSERT_TRUE(SaveDocument(doc, dir / "seed.kxdoc", &error)) << error;
  std::vector<std::string> corpus{ReadText(dir / "seed.kxdoc")};
  const FuzzCounts n = Fuzz(corpus, 5000, 19, [&](const std::string& input, bool* accepted) {
    return FuzzDocumentFile(input, dir.Path(), accepted);
  });
  EXPECT_GT(n.accepted, 100);
  EXPECT_GT(n.refused, 1000);
}

TEST(Fuzz, SettingsFiles) {
  const ScratchFolder dir;
  const std::vector<std::string> corpus = {
      "; the camera of cutter 2\n[Kestrix Setup]\nScale=1.60\nX OffSet=-1250.00\n"
      "Y OffSet=830.00\n# calibrated by hand\nGain=12\n\n[Kestrix Dialog]\nRoll=1\n",
      "[Port Setup]\nPort=USB1\n[Device]\nKestrixRollDir=1\nKestrixMaxError=6\n",
      "[Kestrix Setup]\r\nGamma = 40 \r\nSharp=\r\n[Other Tool]\r\nColour=blue\r\n"};
  const FuzzCounts n = Fuzz(corpus, 2000, 19, [&](const std::string& input, bool* accepted) {
    return FuzzSettingsFile(input, dir / "config", accepted);
  });
  EXPECT_GT(n.accepted, 100);
  EXPECT_GT(n.refused, 100);
}

}  // namespace
}  // namespace kx::test
