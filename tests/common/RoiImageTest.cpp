// The image with a region of interest, and truncation toward zero.
#include <gtest/gtest.h>

#include "common/RoiImage.h"
#include "common/Units.h"

namespace {

TEST(RoiImage, RegionIsClippedToTheImageAndOneWhollyOutsideIsRefused) {
  kx::RoiImage img(100, 50);
  EXPECT_EQ(img.Roi(), cv::Rect(0, 0, 100, 50));
  EXPECT_TRUE(img.SetRoi({90, -10, 30, 30}));
  EXPECT_EQ(img.Roi(), cv::Rect(90, 0, 10, 20));
  EXPECT_EQ(img.RoiMat().cols, 10);
  EXPECT_EQ(img.RoiMat().rows, 20);
  EXPECT_FALSE(img.SetRoi({200, 10, 20, 20}));
  EXPECT_FALSE(img.SetRoi({10, 10, 0, 5}));
  EXPECT_EQ(img.Roi(), cv::Rect(90, 0, 10, 20));
}

TEST(Units, TruncationAndHalvesGoTowardZero) {
  EXPECT_EQ(kx::Trunc(-2.9), -2);
  EXPECT_EQ(kx::Trunc(2.9), 2);
  EXPECT_EQ(kx::Half(-5), -2);
  EXPECT_EQ(kx::Even(11), 10);
  EXPECT_DOUBLE_EQ(kx::DocToCutter(kx::CutterToDoc(1000.0)), 1000.0);
}

}  // namespace
