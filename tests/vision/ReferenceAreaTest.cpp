// Reference areas: even corners, rows counted from the top, preview factor and picture.
#include <gtest/gtest.h>

#include "vision/ReferenceArea.h"

namespace {

TEST(ReferenceArea, EvenCornersRelativeToTheObjectWithRowsFromTheTop) {
  // au0 = 11, au1 = 40: starts at 10 and is 30 wide. Rows from the top: the mark's high corner
  // maps to row 40, its low corner to row 60.
  EXPECT_EQ(kx::ReferenceArea(0, 0, 11, 60, 40, 40, 100), cv::Rect(10, 40, 30, 20));
  // Columns count from the object's own corner.
  EXPECT_EQ(kx::ReferenceArea(6, 0, 26, 60, 56, 40, 100), cv::Rect(20, 40, 30, 20));
}

TEST(ReferenceCentre, MeasuredFromTheLowerLeftWithYUp) {
  const cv::Point2d c = kx::ReferenceCentre(cv::Rect(10, 40, 30, 20), 100, 2.0);
  EXPECT_DOUBLE_EQ(c.x, (10 + 15) * 2.0);
  EXPECT_DOUBLE_EQ(c.y, (100 - 40 - 10) * 2.0);
}

TEST(PreviewFactor, ShrinksLargeAreasByAnIntegerFactor) {
  EXPECT_EQ(kx::PreviewFactor({900, 300}, {300, 200}), 4);  // 225 x 75 control
  EXPECT_EQ(kx::PreviewFactor({100, 80}, {300, 200}), 1);
  EXPECT_EQ(kx::PreviewFactor({300, 10}, {300, 200}), 2);  // exactly the width still shrinks
}

TEST(RenderPreview, GreenCentreLinesOverTheResizedArea) {
  cv::Mat area(40, 60, CV_8UC3, cv::Scalar(200, 10, 10));
  const cv::Mat p = kx::RenderPreview(area, {30, 20});
  ASSERT_EQ(p.size(), cv::Size(30, 20));
  EXPECT_EQ(p.at<cv::Vec3b>(10, 3), cv::Vec3b(0, 255, 0));
  EXPECT_EQ(p.at<cv::Vec3b>(2, 15), cv::Vec3b(0, 255, 0));
  EXPECT_EQ(p.at<cv::Vec3b>(2, 3), cv::Vec3b(200, 10, 10));
}

}  // namespace
