// Joining camera tiles into the reference montage, its size check and its scaled display copy.
#include "acquire/Montage.h"

#include <Magick++.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"

namespace kx {

std::uint64_t MontageBytes(int cols, int rows) {
  if (cols <= 0 || rows <= 0) return 0;
  return static_cast<std::uint64_t>(cols) * static_cast<std::uint64_t>(rows) * kFrameBytes;
}

MontageBudget CheckMontageBudget(int cols, int rows, std::uint64_t availableBytes) {
  MontageBudget b;
  const std::uint64_t montage = MontageBytes(cols, rows);
  b.neededBytes = 2 * montage;
  b.allowedBytes = std::min<std::uint64_t>(availableBytes / 2, 2 * kMontageByteLimit);
  b.fits = montage > 0 && montage <= kMontageByteLimit && b.neededBytes <= b.allowedBytes;
  return b;
}

std::uint64_t AvailableMemoryBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::uint64_t kib = 0;
    if (fields >> kib) return kib * 1024;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

bool AssembleMontage(const std::vector<cv::Mat>& tiles, int cols, int rows, BYTE* dst) {
  if (!dst || cols <= 0 || rows <= 0 ||
      tiles.size() != static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows))
    return false;
  for (const cv::Mat& t : tiles)
    if (t.rows != kFrameHeight || t.cols != kFrameWidth || t.type() != CV_8UC3 || !t.isContinuous())
      return false;
  const std::size_t stride = static_cast<std::size_t>(cols) * kFrameStride;
  const int H = rows * kFrameHeight;
  for (int y = 0; y < H; ++y) {
    const int r = y / kFrameHeight;
    const int ty = y % kFrameHeight;
    BYTE* out = dst + static_cast<std::size_t>(H - 1 - y) * stride;
    for (int c = 0; c < cols; ++c) {
      const cv::Mat& tile = tiles[static_cast<std::size_t>(r) * cols + c];
      std::memcpy(out + static_cast<std::size_t>(c) * kFrameStride, tile.ptr(ty), kFrameStride);
    }
  }
  return true;
}

ZoomGeometry MontageZoomGeometry(const RECT& client, int W, int H) {
  ZoomGeometry g;
  if (W <= 0 || H <= 0) return g;
  const double f =
      std::min((1.0 / H) * (client.bottom - client.top), (1.0 / W) * (client.right - client.left));
  g.factor = static_cast<float>(f);
  g.right = static_cast<int>(static_cast<float>(W) * g.factor + static_cast<float>(client.left));
  g.bottom = static_cast<int>(static_cast<float>(H) * g.factor + static_cast<float>(client.top));
  g.width = std::max(0, g.right - client.left) / 32 * 32;
  g.height = std::max(0, g.bottom - client.top) / 32 * 32;
  return g;
}

cv::Size FitInside(int W, int H, int width, int height) {
  if (W <= 0 || H <= 0 || width <= 0 || height <= 0) return {0, 0};
  const double scale = std::min(static_cast<double>(width) / W, static_cast<double>(height) / H);
  const int w = std::max(1, static_cast<int>(std::floor(scale * W + 0.5)));
  const int h = std::max(1, static_cast<int>(std::floor(scale * H + 0.5)));
  return {w, h};
}

void InitImageLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    Magick::InitializeMagick(nullptr);
    // Display copies are a few hundred pixels a side: keep the library in memory and never let it
    // page a cache out to disk, whatever the system's policy file allows.
    Magick::ResourceLimits::memory(256ull << 20);
    Magick::ResourceLimits::map(256ull << 20);
    Magick::ResourceLimits::disk(0);
    // The zoom works on a few hundred pixels a side: threads would cost more than they save.
    Magick::ResourceLimits::thread(1);
  });
}

bool MakeMontageDisplay(const BYTE* montage, int W, int H, int width, int height,
                        BITMAPINFOHEADER* header, std::vector<BYTE>* pixels, std::string* error) {
  const auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!montage || !header || !pixels || W <= 0 || H <= 0) return fail("no montage to show");
  const cv::Size fit = FitInside(W, H, width, height);
  if (fit.width <= 0) return fail("the montage view is too small to show the montage");
  InitImageLibrary();

  // The library holds 8 bytes a pixel: give it no more than twice the display size to zoom from,
  // reducing the montage by whole factors first, so that even a large grid costs little here.
  const cv::Mat bottomUp(H, W, CV_8UC3, const_cast<BYTE*>(montage));
  const int n = std::max(1, std::min(W / (2 * fit.width), H / (2 * fit.height)));
  cv::Mat source;
  if (n > 1) {
    cv::resize(bottomUp, source, cv::Size(W / n, H / n), 0, 0, cv::INTER_AREA);
    cv::flip(source, source, 0);
  } else {
    cv::flip(bottomUp, source, 0);
  }

  Magick::Blob blob;
  try {
    Magick::Image image(static_cast<std::size_t>(source.cols),
                        static_cast<std::size_t>(source.rows), "BGR", Magick::CharPixel,
                        source.data);
    Magick::Geometry geometry(static_cast<std::size_t>(fit.width),
                              static_cast<std::size_t>(fit.height));
    geometry.aspect(true);  // the fitted size is already computed: take it exactly
    image.zoom(geometry);
    image.type(Magick::TrueColorType);
    image.magick("BMP3");
    image.write(&blob);
  } catch (const std::exception& e) {
    return fail(std::string("the image library could not zoom the montage: ") + e.what());
  }

  const auto* data = static_cast<const BYTE*>(blob.data());
  const std::size_t size = blob.length();
  const auto u32 = [data](std::size_t at) {
    return static_cast<std::uint32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                      static_cast<std::uint32_t>(data[at + 3]) << 24);
  };
  if (size < 54 || data[0] != 'B' || data[1] != 'M') return fail("the BMP encoding is broken");
  const std::uint32_t offset = u32(10);
  const auto w = static_cast<std::int32_t>(u32(18));
  const auto h = static_cast<std::int32_t>(u32(22));
  const int bits = data[28] | data[29] << 8;
  if (bits != 24 || w <= 0 || h <= 0) return fail("the BMP encoding is not 24-bit bottom-up");
  const std::size_t stride = static_cast<std::size_t>(DibStride(w));
  const std::size_t bytes = stride * static_cast<std::size_t>(h);
  if (offset > size || size - offset < bytes) return fail("the BMP encoding is truncated");

  *header = MakeBgrHeader(w, h, false);
  pixels->assign(data + offset, data + offset + bytes);
  // The top-left pixel is the first of the last stored row.
  BYTE* topLeft = pixels->data() + static_cast<std::size_t>(h - 1) * stride;
  topLeft[0] = topLeft[1] = topLeft[2] = 190;
  return true;
}

}  // namespace kx
