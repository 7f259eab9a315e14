// World files with the run, operator and expect sections: defaults from the world, values read,
// and errors that name the file and the key.
#include <gtest/gtest.h>

#include "app/JobFile.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

MainJobSetup Parse(const std::string& text) {
  MainJobSetup setup;
  std::string error;
  EXPECT_TRUE(ParseJobJson(text, "w.json", &setup, &error)) << error;
  return setup;
}

TEST(JobFile, ASheetWorldWithoutSectionsPlansEveryCopyAtThePitch) {
  const MainJobSetup setup =
      Parse(R"({"copies": {"columns": 1, "rows": 2, "pitchX": 12500, "pitchY": 9250}})");
  EXPECT_EQ(setup.world.copies.rows, 2);
  EXPECT_FALSE(setup.plan.roll);
  EXPECT_EQ(setup.plan.copiesX, 1);
  EXPECT_EQ(setup.plan.copiesY, 2);
  EXPECT_DOUBLE_EQ(setup.plan.stepX, 12.5);
  EXPECT_DOUBLE_EQ(setup.plan.stepY, 9.25);
  EXPECT_TRUE(setup.plan.failures.empty());
  EXPECT_EQ(setup.plan.precision, 0) << "the described run unless the file asks";
  EXPECT_EQ(setup.expect.copies, 2);
}

TEST(JobFile, ARollRunsToTheLastPrintedCopyAndIsCancelledThere) {
  // Along x the roll makes the x count unlimited: all 5 columns, 2 copies across.
  const MainJobSetup alongX = Parse(R"({"copies": {"layout": "roll", "rollAxis": "x",
      "columns": 5, "rows": 3}, "run": {"copiesY": 2}})");
  EXPECT_TRUE(alongX.plan.roll);
  EXPECT_EQ(alongX.plan.rollDir, 1);
  ASSERT_EQ(alongX.plan.failures.size(), 1u);
  EXPECT_EQ(alongX.plan.failures[0].answer, IDCANCEL);
  EXPECT_EQ(alongX.expect.copies, 10);

  // An empty operator section keeps the closing Cancel.
  const MainJobSetup alongY = Parse(R"({"copies": {"layout": "roll", "columns": 2, "rows": 4},
      "operator": {}})");
  EXPECT_EQ(alongY.plan.rollDir, 0);
  EXPECT_EQ(alongY.expect.copies, 8);
  EXPECT_EQ(alongY.plan.failures.size(), 1u);
}

TEST(JobFile, SectionsOverrideTheDefaults) {
  const MainJobSetup setup = Parse(R"({
    "copies": {"columns": 3, "rows": 3},
    "run": {"material": "roll", "rollDir": 1, "maxError": 9, "precision": 1, "copiesX": 2, "copiesY": 1,
            "stepX": 11.5, "stepY": 4, "firstCopy": 4},
    "operator": {"failures": [{"answer": "ok", "placeCopy": 7}, {"answer": "cancel"}]},
    "expect": {"copies": 5, "maxErrorMm": 0.25, "headAtOrigin": false}})");
  EXPECT_TRUE(setup.plan.roll);
  EXPECT_EQ(setup.plan.rollDir, 1);
  EXPECT_EQ(setup.plan.maxError, 9);
  EXPECT_EQ(setup.plan.precision, 1);
  EXPECT_EQ(setup.plan.copiesX, 2);
  EXPECT_EQ(setup.plan.copiesY, 1);
  EXPECT_DOUBLE_EQ(setup.plan.stepX, 11.5);
  EXPECT_DOUBLE_EQ(setup.plan.stepY, 4.0);
  EXPECT_EQ(setup.plan.firstCopy, 4);
  ASSERT_EQ(setup.plan.failures.size(), 2u);
  EXPECT_EQ(setup.plan.failures[0].answer, IDOK);
  EXPECT_EQ(setup.plan.failures[0].placeCopy, 7);
  EXPECT_EQ(setup.plan.failures[1].answer, IDCANCEL);
  EXPECT_EQ(setup.expect.copies, 5);
  EXPECT_DOUBLE_EQ(setup.expect.maxErrorMm, 0.25);
  EXPECT_FALSE(setup.expect.headAtOrigin);
}

TEST(JobFile, EveryBadSectionValueIsNamedAndLeavesTheSetupAlone) {
  // One case for each kind of check and place a key can be in.
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {R"({"run": {"copiez": 2}})", "unknown key \"run.copiez\""},
      {R"({"run": 3})", "key \"run\" must be an object"},
      {R"({"run": {"copiesX": "2"}})", "key \"run.copiesX\" must be an integer"},
      {R"({"run": {"copiesY": 0}})", "key \"run.copiesY\" must be between 1 and 1000"},
      {R"({"run": {"material": "paper"}})", "key \"run.material\" must be \"roll\" or \"sheet\""},
      {R"({"run": {"stepX": 0}})", "key \"run.stepX\" must be above 0"},
      {R"({"run": {"stepY": true}})", "key \"run.stepY\" must be a number"},
      {R"({"copies": {"columns": 2, "rows": 2}, "run": {"firstCopy": 4}})",
       "key \"run.firstCopy\" must be between 0 and 3"},
      {R"({"operator": {"failures": {"answer": "ok"}}})",
       "key \"operator.failures\" must be a list"},
      {R"({"operator": {"failures": [{"answer": "ok"}, {"answer": "maybe"}]}})",
       "key \"operator.failures[1].answer\" must be \"ok\" or \"cancel\""},
      {R"({"operator": {"failures": [{"answer": "ok", "placeCopy": 16}]}})",
       "key \"operator.failures[0].placeCopy\" must be between 0 and 15"},
      {R"({"operator": {"failures": [{"anser": "ok"}]}})",
       "unknown key \"operator.failures[0].anser\""},
      {R"({"expect": {"headAtOrigin": "yes"}})",
       "key \"expect.headAtOrigin\" must be true or false"},
      // The world's own keys keep their checks (the world file's tests hold the rest).
      {R"({"camera": {"scale": 0}, "run": {"copiesX": 1}})", "key \"camera.scale\" must be"},
      {R"({"run": {"copiesX": 1})", "not valid JSON"},
      {R"([1, 2])", "must be a JSON object"},
      // The sections share the world's limits, and they hold before the world is read again.
      {R"({"run": {"copiesX": 2, "copiesX": 3}})", "key \"run.copiesX\" is given twice"},
      {R"({"operator": {"failures": [{}, {"answer": "ok", "answer": "cancel"}]}})",
       "key \"operator.failures[1].answer\" is given twice"},
      {R"({"run": {"\u001b]0;x\u0007": 1}})", "unknown key \"run.\\u001b]0;x\\u0007\""},
  };
  for (const auto& c : cases) {
    MainJobSetup setup;
    setup.plan.copiesX = 77;
    setup.expect.copies = 99;
    std::string error;
    EXPECT_FALSE(ParseJobJson(c.text, "w.json", &setup, &error)) << c.text;
    EXPECT_EQ(error.rfind("w.json: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << "\n" << error;
    EXPECT_EQ(setup.plan.copiesX, 77) << c.text;
    EXPECT_EQ(setup.expect.copies, 99) << c.text;
  }
}

TEST(JobFile, DeepNestingUnderAnUnknownKeyIsRefusedBeforeItIsWrittenOutAgain) {
  const std::string text = R"({"junk": )" + std::string(50000, '[') + std::string(50000, ']') + "}";
  MainJobSetup setup;
  std::string error;
  EXPECT_FALSE(ParseJobJson(text, "w.json", &setup, &error));
  EXPECT_EQ(error, "w.json: values nested deeper than 16 levels");
}

TEST(JobFile, FilesAreReadAndAMissingOneIsNamed) {
  const ScratchFolder dir;
  WriteText(dir / "one.json",
            R"({"copies": {"columns": 1, "rows": 1}, "expect": {"maxErrorMm": 0.3}})");
  MainJobSetup setup;
  std::string error;
  ASSERT_TRUE(LoadJobFile((dir / "one.json").string(), &setup, &error)) << error;
  EXPECT_EQ(setup.expect.copies, 1);
  EXPECT_DOUBLE_EQ(setup.expect.maxErrorMm, 0.3);

  const std::string missing = (dir / "missing.json").string();
  EXPECT_FALSE(LoadJobFile(missing, &setup, &error));
  EXPECT_EQ(error, missing + ": cannot open the world file: No such file or directory");
}

}  // namespace
}  // namespace kx::test
