// The host bitmap: creation from either row order, resampling, pixel copies and pixel mapping.
#include <gtest/gtest.h>

#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "host/HostServices.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

// Pixel (x, y) of a w x h test image, distinct for every pixel of a small image.
cv::Vec3b Pattern(int x, int y) {
  return cv::Vec3b(static_cast<uchar>(x * 7 + y), static_cast<uchar>(y * 13),
                   static_cast<uchar>(x + 100));
}

std::vector<BYTE> DibBits(int w, int h, bool topDown) {
  std::vector<BYTE> bits(static_cast<std::size_t>(DibStride(w)) * h, 0xEE);
  for (int y = 0; y < h; ++y) {
    const int row = topDown ? y : h - 1 - y;
    for (int x = 0; x < w; ++x) {
      const cv::Vec3b p = Pattern(x, y);
      for (int c = 0; c < 3; ++c)
        bits[static_cast<std::size_t>(row) * DibStride(w) + 3 * x + c] = p[c];
    }
  }
  return bits;
}

TEST(HostBitmap, CreateReadsEitherRowOrderAndCopiesTopRowFirstWithoutPadding) {
  for (bool topDown : {true, false}) {
    HostBitmap bitmap;
    const int w = 5, h = 3;  // 15 bytes a row: padded to 16 in the DIB
    const auto bits = DibBits(w, h, topDown);
    const BITMAPINFOHEADER header = MakeBgrHeader(w, h, topDown);
    ASSERT_TRUE(bitmap.Create(&header, bits.data()));
    EXPECT_EQ(bitmap.Width(), w);
    EXPECT_EQ(bitmap.Height(), h);
    BYTE* copy = nullptr;
    ASSERT_NE(bitmap.CopyDataBits(&copy), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(copy[(y * w + x) * 3 + c], Pattern(x, y)[c]) << "top-down " << topDown;
    std::free(copy);
  }
}

TEST(HostBitmap, RefusesWhatItCannotHold) {
  HostBitmap bitmap;
  BITMAPINFOHEADER header = MakeBgrHeader(4, 4);
  const auto bits = DibBits(4, 4, true);
  EXPECT_FALSE(bitmap.Create(nullptr, bits.data()));
  EXPECT_FALSE(bitmap.Create(&header, nullptr));
  header.biBitCount = 8;
  EXPECT_FALSE(bitmap.Create(&header, bits.data()));
  header = MakeBgrHeader(0, 4);
  EXPECT_FALSE(bitmap.Create(&header, bits.data()));
  BYTE* copy = reinterpret_cast<BYTE*>(&header);
  EXPECT_EQ(bitmap.CopyDataBits(&copy), 0);
  EXPECT_EQ(copy, nullptr);
  EXPECT_FALSE(bitmap.Resample(10, 10, 6, 1));
  EXPECT_EQ(bitmap.CreateObject(0, true, 0, nullptr), 0u);
}

TEST(HostBitmap, ResampleGivesTheExactSizeFromTheOriginalPixels) {
  cv::Mat pixels(64, 48, CV_8UC3);
  cv::randu(pixels, 0, 255);
  HostBitmap bitmap;
  ASSERT_TRUE(bitmap.SetPixels(pixels));
  for (auto [w, h] : {std::pair{17, 23}, std::pair{48, 64}, std::pair{100, 3}, std::pair{1, 1}}) {
    ASSERT_TRUE(bitmap.Resample(w, h, 6, 1));
    EXPECT_EQ(bitmap.Width(), w);
    EXPECT_EQ(bitmap.Height(), h);
  }
  // Each resample starts from the original: back to full size returns its pixels exactly.
  ASSERT_TRUE(bitmap.Resample(48, 64, 6, 1));
  EXPECT_EQ(cv::norm(pixels, bitmap.Current(), cv::NORM_INF), 0.0);
  // Area averaging of a two-colour checkerboard halved gives the mean grey.
  cv::Mat checker(4, 4, CV_8UC3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      checker.at<cv::Vec3b>(y, x) = (x + y) % 2 ? cv::Vec3b(200, 200, 200) : cv::Vec3b(0, 0, 0);
  ASSERT_TRUE(bitmap.SetPixels(checker));
  ASSERT_TRUE(bitmap.Resample(2, 2, 6, 1));
  EXPECT_EQ(bitmap.Current().at<cv::Vec3b>(1, 1), cv::Vec3b(100, 100, 100));
  // A size of 0 is refused and keeps the current pixels.
  EXPECT_FALSE(bitmap.Resample(0, 5, 6, 1));
  EXPECT_FALSE(bitmap.Resample(5, -1, 6, 1));
  EXPECT_EQ(bitmap.Width(), 2);
}

TEST(HostBitmap, MapRealToBitmapCountsRowsFromTheTopOfThePlacedBitmap) {
  HostBitmap bitmap;
  ASSERT_TRUE(bitmap.SetPixels(cv::Mat(640, 480, CV_8UC3)));
  bitmap.SetRealWidth(1.2192);
  bitmap.SetRealHeight(1.6256);
  bitmap.SetOrigin({10.0, 20.0});
  // The camera's 480 x 640 pixels at scale 1: 1000 / 2.54 pixels a document unit.
  int px = -1, py = -1;
  bitmap.MapRealToBitmap(10.0, 20.0 + 1.6256, &px, &py, false);  // top-left corner
  EXPECT_EQ(px, 0);
  EXPECT_EQ(py, 0);
  bitmap.MapRealToBitmap(10.0 + 1.2192, 20.0, &px, &py, false);  // bottom-right corner
  EXPECT_EQ(px, 480);
  EXPECT_EQ(py, 640);
  // 0.24384 right of the left edge and 0.32512 above the bottom edge.
  bitmap.MapRealToBitmap(10.24384, 20.32512, &px, &py, false);
  EXPECT_EQ(px, 96);
  EXPECT_EQ(py, 512);
  // Mapping follows the current pixel size: half the pixels, half the numbers.
  ASSERT_TRUE(bitmap.Resample(240, 320, 6, 1));
  bitmap.MapRealToBitmap(10.24384, 20.32512, &px, &py, false);
  EXPECT_EQ(px, 48);
  EXPECT_EQ(py, 256);
  // Outside the bitmap: unclamped keeps going, clamped stops at the last pixel.
  bitmap.MapRealToBitmap(0.0, 100.0, &px, &py, false);
  EXPECT_LT(px, 0);
  EXPECT_LT(py, 0);
  bitmap.MapRealToBitmap(100.0, 0.0, &px, &py, true);
  EXPECT_EQ(px, 239);
  EXPECT_EQ(py, 319);
}

TEST(HostBitmap, RealSizeRefusesSizesNotAboveZero) {
  HostBitmap bitmap;
  ASSERT_TRUE(bitmap.SetPixels(cv::Mat(10, 20, CV_8UC3)));
  bitmap.SetRealWidth(3.0);
  bitmap.SetRealWidth(0.0);
  bitmap.SetRealHeight(-1.0);
  EXPECT_EQ(bitmap.GetRealWidth(), 3.0);
  EXPECT_EQ(bitmap.GetRealHeight(), 0.1);
}

}  // namespace
}  // namespace kx::test
