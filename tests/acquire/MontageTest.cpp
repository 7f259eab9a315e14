// The montage against the image library's own montage and BMP encoding, the display geometry and
// the memory check.
#include <Magick++.h>
#include <gtest/gtest.h>

#include <cstring>
#include <list>

#include "acquire/Montage.h"
#include "common/Frame.h"

namespace kx {
namespace {

std::vector<cv::Mat> NoiseTiles(int count, int seed) {
  cv::RNG rng(static_cast<std::uint64_t>(seed));
  std::vector<cv::Mat> tiles;
  for (int i = 0; i < count; ++i) {
    cv::Mat t(kFrameHeight, kFrameWidth, CV_8UC3);
    rng.fill(t, cv::RNG::UNIFORM, 0, 256);
    tiles.push_back(t);
  }
  return tiles;
}

TEST(AssembleMontage, GivesTheBytesOfTheLibrarysMontageEncodedAsBmp) {
  const int cols = 3, rows = 2;
  const std::vector<cv::Mat> tiles = NoiseTiles(cols * rows, 5);
  std::vector<BYTE> ours(MontageBytes(cols, rows));
  ASSERT_EQ(ours.size(), 5529600u);
  ASSERT_TRUE(AssembleMontage(tiles, cols, rows, ours.data()));

  InitImageLibrary();
  std::list<Magick::Image> images;
  for (const cv::Mat& t : tiles)
    images.emplace_back(static_cast<std::size_t>(kFrameWidth),
                        static_cast<std::size_t>(kFrameHeight), "BGR", Magick::CharPixel, t.data);
  Magick::Montage options;
  options.fileName("Montage");
  options.geometry("480x640");
  options.gravity(Magick::CenterGravity);
  options.tile("3x2");
  std::list<Magick::Image> result;
  Magick::montageImages(&result, images.begin(), images.end(), options);
  ASSERT_FALSE(result.empty());
  Magick::Image& montage = result.front();
  EXPECT_EQ(montage.columns(), 1440u);
  EXPECT_EQ(montage.rows(), 1280u);
  montage.type(Magick::TrueColorType);
  montage.magick("BMP3");
  Magick::Blob blob;
  montage.write(&blob);
  ASSERT_GE(blob.length(), ours.size());
  const auto* end = static_cast<const BYTE*>(blob.data()) + blob.length();
  EXPECT_EQ(std::memcmp(end - ours.size(), ours.data(), ours.size()), 0);
}

TEST(AssembleMontage, RefusesTilesThatDoNotFillTheGrid) {
  std::vector<cv::Mat> tiles = NoiseTiles(3, 1);
  std::vector<BYTE> out(MontageBytes(2, 2), 7);
  EXPECT_FALSE(AssembleMontage(tiles, 2, 2, out.data()));
  tiles.push_back(cv::Mat(100, 100, CV_8UC3));
  EXPECT_FALSE(AssembleMontage(tiles, 2, 2, out.data()));
  EXPECT_EQ(out[0], 7);  // untouched
}

TEST(MontageZoom, FollowsTheSinglePrecisionFactorAndMultiplesOf32) {
  const ZoomGeometry wide = MontageZoomGeometry(RECT{0, 0, 400, 300}, 960, 640);
  EXPECT_EQ(wide.factor, 0.41666666f);
  EXPECT_EQ(wide.right, 400);
  EXPECT_EQ(wide.bottom, 266);
  EXPECT_EQ(wide.width, 384);
  EXPECT_EQ(wide.height, 256);
  EXPECT_EQ(FitInside(960, 640, wide.width, wide.height), cv::Size(384, 256));

  const ZoomGeometry square = MontageZoomGeometry(RECT{0, 0, 300, 300}, 480, 640);
  EXPECT_EQ(square.width, 224);
  EXPECT_EQ(square.height, 288);
  EXPECT_EQ(FitInside(480, 640, square.width, square.height), cv::Size(216, 288));
}

TEST(MontageDisplay, PadsRowsWithoutShearAndMarksTheTopLeftPixel) {
  // Left half black, right half white, one tile.
  cv::Mat tile(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar::all(255));
  tile(cv::Rect(0, 0, kFrameWidth / 2, kFrameHeight)).setTo(cv::Scalar::all(0));
  std::vector<BYTE> montage(MontageBytes(1, 1));
  ASSERT_TRUE(AssembleMontage({tile}, 1, 1, montage.data()));

  BITMAPINFOHEADER header{};
  std::vector<BYTE> pixels;
  std::string error;
  ASSERT_TRUE(MakeMontageDisplay(montage.data(), 480, 640, 34, 1000, &header, &pixels, &error))
      << error;
  EXPECT_EQ(header.biWidth, 34);
  EXPECT_EQ(header.biHeight, 45);  // positive: bottom-up
  const int stride = 104;          // 102 bytes of pixels and 2 of padding
  ASSERT_EQ(pixels.size(), static_cast<std::size_t>(stride) * 45);
  for (int row = 0; row < 45; ++row) {
    const BYTE* p = pixels.data() + static_cast<std::size_t>(row) * stride;
    if (row != 44) {
      EXPECT_LT(p[0], 40) << "row " << row;
    }
    EXPECT_LT(p[3 * 15], 40) << "row " << row;
    EXPECT_GT(p[3 * 18], 215) << "row " << row;
    EXPECT_GT(p[3 * 33], 215) << "row " << row;
  }
  const BYTE* topLeft = pixels.data() + static_cast<std::size_t>(44) * stride;
  EXPECT_EQ(topLeft[0], 190);
  EXPECT_EQ(topLeft[1], 190);
  EXPECT_EQ(topLeft[2], 190);
}

TEST(MontageDisplay, ReportsWhatIsMissingInsteadOfThrowing) {
  BITMAPINFOHEADER header{};
  std::vector<BYTE> pixels;
  std::string error;
  EXPECT_FALSE(MakeMontageDisplay(nullptr, 480, 640, 224, 288, &header, &pixels, &error));
  EXPECT_EQ(error, "no montage to show");
  std::vector<BYTE> montage(MontageBytes(1, 1));
  EXPECT_FALSE(MakeMontageDisplay(montage.data(), 480, 640, 0, 288, &header, &pixels, &error));
  EXPECT_EQ(error, "the montage view is too small to show the montage");
}

TEST(MontageBudget, NeedsTilesAndMontageWithinHalfTheAvailableMemory) {
  const std::uint64_t gib = 1ull << 30;
  const MontageBudget ten = CheckMontageBudget(10, 10, 8 * gib);
  EXPECT_TRUE(ten.fits);
  EXPECT_EQ(ten.neededBytes, 2ull * 100 * 921600);
  EXPECT_EQ(ten.allowedBytes, 4 * gib);
  // 15 x 15 needs 395 MiB: too much for 512 MiB available, enough with 1 GiB.
  EXPECT_FALSE(CheckMontageBudget(15, 15, gib / 2).fits);
  EXPECT_TRUE(CheckMontageBudget(15, 15, gib).fits);
  // Beyond the bitmap limit no amount of memory helps.
  EXPECT_FALSE(CheckMontageBudget(60, 60, 1024 * gib).fits);
  EXPECT_FALSE(CheckMontageBudget(0, 3, 8 * gib).fits);
}

}  // namespace
}  // namespace kx
