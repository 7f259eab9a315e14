// The JSON world file: values over the defaults, and errors that name the file and the key.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/JsonFile.h"
#include "sim/WorldOptions.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

TEST(WorldFile, ValuesOverrideDefaultsAndTheRestStays) {
  const ScratchFolder dir;
  const std::string path = (dir / "world.json").string();
  WriteText(path, R"({
    "seed": 42,
    "camera": {"scale": 2.0, "offsetX": -900, "previewWhileMoving": false},
    "copies": {"layout": "roll", "rollAxis": "x", "columns": 3},
    "artwork": {"text": false},
    "faults": {"noMotion": true, "fromSeconds": 12.5, "stallX": 800, "stallY": 900}
  })");
  WorldOptions o;
  std::string error;
  ASSERT_TRUE(LoadWorldFile(path, &o, &error)) << error;
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.camera.scale, 2.0);
  EXPECT_EQ(o.camera.offsetX, -900.0);
  EXPECT_EQ(o.camera.offsetY, WorldOptions{}.camera.offsetY);
  EXPECT_FALSE(o.camera.previewWhileMoving);
  EXPECT_EQ(o.copies.layout, "roll");
  EXPECT_EQ(o.copies.columns, 3);
  EXPECT_FALSE(o.artwork.text);
  EXPECT_TRUE(o.faults.noMotion);
  EXPECT_EQ(o.faults.fromSeconds, 12.5);
  EXPECT_EQ(o.faults.stallX, 800.0);
  EXPECT_EQ(o.faults.stallY, 900.0);
  EXPECT_EQ(o.faults.stallRadius, 5.0);
}

TEST(WorldFile, BadFilesNameTheFileAndTheKeyAndChangeNothing) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {R"({"camera": {"scale": "big"}})", "\"camera.scale\" must be a number"},
      {R"({"camera": {"sclae": 2}})", "unknown key \"camera.sclae\""},
      {R"({"cameras": {}})", "unknown key \"cameras\""},
      {R"({"camera": 3})", "\"camera\" must be an object"},
      {R"({"copies": {"rows": 2.5}})", "\"copies.rows\" must be an integer"},
      {R"({"copies": {"layout": "spiral"}})", "\"copies.layout\" must be"},
      {R"({"copies": {"pitchX": 10}})", "\"copies.pitchX\" must be at least"},
      {R"({"seed": -1})", "\"seed\" must be a non-negative integer"},
      {R"({"artwork": {"text": 1}})", "\"artwork.text\" must be true or false"},
      {R"({"camera": {"scale": 2.0,})", "not valid JSON"},
      {R"([1, 2])", "must be a JSON object"},
      {R"({"faults": {"positionNoise": -1}})", "\"faults.positionNoise\" must be between"},
      {R"({"faults": {"stallX": 100}})", "\"faults.stallX\" must be given together"},
      {R"({"faults": {"stallX": -1, "stallY": 5}})", "\"faults.stallX\" must be on the bed"},
  };
  const ScratchFolder dir;
  const std::string path = (dir / "world.json").string();
  for (const Case& c : cases) {
    WriteText(path, c.text);
    WorldOptions o;
    o.camera.scale = 3.25;
    std::string error;
    EXPECT_FALSE(LoadWorldFile(path, &o, &error)) << c.text;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_EQ(o.camera.scale, 3.25) << c.text;
  }
  std::string error;
  WorldOptions o;
  EXPECT_FALSE(LoadWorldFile("/nonexistent/world.json", &o, &error));
  EXPECT_NE(error.find("/nonexistent/world.json"), std::string::npos);
}

TEST(WorldFile, ValuesWhoseSizesCannotWorkAreRefusedNamingTheKey) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      // A 52 GB reference image, a 47 GB one, a 750 GB bed picture.
      {R"({"camera": {"scale": 0.06}})", "key \"camera.scale\" must be such that"},
      {R"({"copies": {"width": 200000, "pitchX": 300000}})", "key \"copies.width\" must be"},
      {R"({"cutter": {"bedWidth": 10000000}})", "key \"cutter.bedWidth\" must be"},
      {R"({"cutter": {"bedWidth": 2000000, "bedHeight": 2000000}})",
       "key \"cutter.bedHeight\" must be such that"},
      // A frame period that overflows, a line wider than any picture, speeds that make moves
      // arrive at once or never.
      {R"({"camera": {"frameRate": 1e-14}})", "key \"camera.frameRate\" must be between 0.1"},
      {R"({"cutter": {"cutWidth": 60000}})", "key \"cutter.cutWidth\" must be between 0 and 1000"},
      {R"({"cutter": {"travelSpeed": 1e-320}})", "key \"cutter.travelSpeed\" must be between 1"},
      {R"({"cutter": {"cutSpeed": 1e300}})", "key \"cutter.cutSpeed\" must be"},
      {R"({"copies": {"pitchX": 1e308}})", "key \"copies.pitchX\" must be at most 10000000"},
      {R"({"copies": {"columns": 1000, "pitchX": 1000000}})",
       "key \"copies.pitchX\" must be such that the sheet"},
      {R"({"sheet": {"offsetY": -1e20}})", "key \"sheet.offsetY\" must be"},
      {R"({"camera": {"scale": 90}, "artwork": {"rasterResolution": 8}})",
       "key \"artwork.rasterResolution\" must be at least camera.scale / 10"},
      {R"({"artwork": {"rasterResolution": 0.1}, "camera": {"scale": 5},
         "copies": {"width": 90000, "pitchX": 90000}})",
       "key \"artwork.rasterResolution\" must be such that"},
  };
  for (const Case& c : cases) {
    WorldOptions o;
    std::string error;
    EXPECT_FALSE(ParseWorldJson(c.text, "w.json", &o, &error)) << c.text;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << "\n" << error;
  }
  // The limits themselves are usable.
  std::string error;
  EXPECT_TRUE(ParseWorldJson(
      R"({"camera": {"frameRate": 0.1}, "cutter": {"cutWidth": 1000, "travelSpeed": 1}})", "w",
      nullptr, &error))
      << error;
}

TEST(WorldFile, TheFileItselfIsLimitedBeforeItIsParsed) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {R"({"junk": )" + std::string(50000, '[') + std::string(50000, ']') + "}",
       "w.json: values nested deeper than 16 levels"},
      {R"({"camera": {"scale": -1, "scale": 2}})", "w.json: key \"camera.scale\" is given twice"},
      {std::string(R"({"seed": 2})") + '\0' + "garbage",
       "w.json: not valid JSON: a NUL byte at byte 12"},
      {R"({"cam\u001b[2J\nkestrix: ok": 1})",
       "w.json: unknown key \"cam\\u001b[2J\\u000akestrix: ok\""},
      {"{\"camera\": {\"\xc3\xa9\": 1}}", "w.json: unknown key \"camera.\\xc3\\xa9\""},
      {std::string(R"({"camera": {)") + "\"" + std::string(100, 'k') + "\": 1}}",
       "w.json: unknown key \"camera." + std::string(60, 'k') + "...\""},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseWorldJson(c.text, "w.json", nullptr, &error)) << c.text.substr(0, 80);
    EXPECT_EQ(error, c.message);
  }
  std::string error;
  EXPECT_FALSE(ParseWorldJson(R"({"seed": 2} {"seed": 3})", "w.json", nullptr, &error));
  EXPECT_EQ(error.rfind("w.json: not valid JSON: ", 0), 0u) << error;
}

TEST(WorldFile, OnlyARegularFileOfAtMostTheLimitIsRead) {
  const ScratchFolder dir;
  std::string error;
  EXPECT_FALSE(LoadWorldFile("/dev/zero", nullptr, &error));
  EXPECT_EQ(error, "/dev/zero: is not a regular file, not a world file");
  EXPECT_FALSE(LoadWorldFile(dir.Path().string(), nullptr, &error));
  EXPECT_EQ(error, dir.Path().string() + ": is a folder, not a world file");

  const std::string big = (dir / "big.json").string();
  std::string text = R"({"seed": 1})";
  WriteText(big, text + std::string(kMaxJsonFileBytes - text.size(), ' '));
  EXPECT_TRUE(LoadWorldFile(big, nullptr, &error)) << error;
  WriteText(big, text + std::string(kMaxJsonFileBytes - text.size() + 1, ' '));
  EXPECT_FALSE(LoadWorldFile(big, nullptr, &error));
  EXPECT_EQ(error, big + ": the world file is larger than 1048576 bytes");
}

}  // namespace
}  // namespace kx::test
