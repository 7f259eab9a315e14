// What the camera sees of a knife cut, and the calibration settings a world's setup section
// resolves to.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "sim/World.h"
#include "sim/WorldSetup.h"

namespace kx {
namespace {

TEST(KnifePower, TheCameraSeesAMarkOfTheCutWidth) {
  WorldOptions o;
  o.camera.noiseSigma = 0;
  o.camera.blurSigma = 0;
  o.camera.vignetting = 0;
  o.camera.lightGradient = 0;
  o.camera.scale = 1.0;
  o.cutter.cutWidth = 9.0;
  const World world(o);
  // Far from the sheet: plain bed, one vertical cut through the frame centre.
  const cv::Point2d head(57000, 46000);
  const cv::Point2d centre = world.CameraCentre(head);
  const std::vector<BedSegment> cut{{centre + cv::Point2d(0, -200), centre + cv::Point2d(0, 200)}};
  const cv::Mat plain = world.RenderFrame(head, {}, 1);
  const cv::Mat marked = world.RenderFrame(head, cut, 1);
  cv::Mat diff;
  cv::absdiff(plain, marked, diff);
  cv::Mat grey;
  cv::cvtColor(diff, grey, cv::COLOR_BGR2GRAY);
  // Row through the centre: the changed pixels are the cut's width wide, about the centre.
  int changed = 0;
  for (int u = 0; u < kFrameWidth; ++u) changed += grey.at<uchar>(kFrameCentreY, u) > 4 ? 1 : 0;
  EXPECT_GE(changed, 9);
  EXPECT_LE(changed, 13);  // with a smoothed pixel on either side
  EXPECT_GT(grey.at<uchar>(kFrameCentreY, kFrameCentreX), 4);
  EXPECT_EQ(grey.at<uchar>(kFrameCentreY, kFrameCentreX + 8), 0);
  // Beyond the cut's ends nothing changed.
  EXPECT_EQ(grey.at<uchar>(kFrameCentreY - 210, kFrameCentreX), 0);
}

TEST(WorldSetup, UnsetValuesComeFromTheCameraMount) {
  WorldOptions o;  // scale 1.6, offset (-1250, 830)
  const CalibrationConfig c = ResolveSetup(World(o));
  EXPECT_TRUE(c.calibrated);
  EXPECT_EQ(c.squarePower, 25);
  EXPECT_EQ(c.squareSize, 500);  // 2/3 of 768 units is 512
  EXPECT_EQ(NominalMount(o.camera), cv::Point(-1300, 800));
  EXPECT_EQ(c.moveX, 250 + 1300);
  EXPECT_EQ(c.moveY, 250 - 800);
  // The square and its surroundings lie off the sheet, on the bed.
  EXPECT_EQ(c.start, cv::Point(60000 - 1000 - 504 - 7 * 1550, 50000 - 1000 - 504));
  EXPECT_LE(c.start.x + c.squareSize + 4, o.cutter.bedWidth);
  EXPECT_LE(c.start.y + c.squareSize + 4, o.cutter.bedHeight);

  o.camera.scale = 1.0;
  EXPECT_EQ(ResolveSetup(World(o)).squareSize, 300);
  o.camera.scale = 2.4;
  EXPECT_EQ(ResolveSetup(World(o)).squareSize, 750);
}

TEST(WorldSetup, FileValuesWinAndBadOnesAreNamed) {
  WorldOptions o;
  std::string error;
  ASSERT_TRUE(ParseWorldJson(R"({"setup": {"calibrated": false, "squareSize": 400, "manual": true,
                                           "moveX": 10, "moveY": -20, "startX": 3000,
                                           "startY": 4000, "squarePower": 0}})",
                             "w.json", &o, &error))
      << error;
  const CalibrationConfig c = ResolveSetup(World(o));
  EXPECT_FALSE(c.calibrated);
  EXPECT_TRUE(c.manual);
  EXPECT_EQ(c.squarePower, 0);
  EXPECT_EQ(c.squareSize, 400);
  EXPECT_EQ(c.moveX, 10);
  EXPECT_EQ(c.moveY, -20);
  EXPECT_EQ(c.start, cv::Point(3000, 4000));

  const std::pair<const char*, const char*> bad[] = {
      {R"({"setup": {"squareSize": 5}})", "w.json: key \"setup.squareSize\" must be between"},
      {R"({"setup": {"squarePower": -1}})", "key \"setup.squarePower\""},
      {R"({"setup": {"moveX": 1.5}})", "key \"setup.moveX\" must be an integer"},
      {R"({"setup": {"startY": 60000}})", "key \"setup.startY\" must be on the bed"},
      {R"({"setup": {"manual": 1}})", "key \"setup.manual\" must be true or false"},
  };
  for (const auto& [text, mention] : bad) {
    WorldOptions kept;
    kept.setup.squarePower = 7;
    EXPECT_FALSE(ParseWorldJson(text, "w.json", &kept, &error)) << text;
    EXPECT_NE(error.find(mention), std::string::npos) << error;
    EXPECT_EQ(kept.setup.squarePower, 7);
  }
}

}  // namespace
}  // namespace kx
