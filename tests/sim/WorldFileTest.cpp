// The JSON world file: values over the defaults, and errors that name the file and the key.
#include <gtest/gtest.h>

#include "sim/WorldOptions.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

TEST(WorldFile, ValuesOverrideDefaultsAndTheRestStays) {
  const ScratchFolder dir;
  const std::string path = (dir / "world.json").string();
  WriteText(path, R"({
    "seed": 42,
    "camera": {"scale": 2.0, "offsetX": -900},
    "copies": {"layout": "roll", "rollAxis": "x", "columns": 3},
    "artwork": {"text": false}
  })");
  WorldOptions o;
  std::string error;
  ASSERT_TRUE(LoadWorldFile(path, &o, &error)) << error;
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.camera.scale, 2.0);
  EXPECT_EQ(o.camera.offsetX, -900.0);
  EXPECT_EQ(o.camera.offsetY, WorldOptions{}.camera.offsetY);
  EXPECT_EQ(o.copies.layout, "roll");
  EXPECT_EQ(o.copies.columns, 3);
  EXPECT_FALSE(o.artwork.text);
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

TEST(WorldFile, DefaultsAreValid) { EXPECT_EQ(ValidateWorldOptions(WorldOptions{}), ""); }

}  // namespace
}  // namespace kx::test
