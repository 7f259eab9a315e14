// Joining camera tiles into the reference montage, its size check and its scaled display copy.
// Threads: reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "common/BitmapInfo.h"
#include "common/WinTypes.h"
#include "platform/WinDefs.h"

namespace kx {

// Bytes of the full-resolution montage of cols x rows tiles: cols * rows * 921,600.
std::uint64_t MontageBytes(int cols, int rows);

// Whether a capture of cols x rows tiles fits in memory, decided before any head move. The
// capture keeps every tile and one montage at full resolution, so it needs twice MontageBytes;
// that must stay within half the memory the system reports available, and the montage itself
// within kMontageByteLimit (the largest pixel array a 24-bit bitmap header describes safely).
struct MontageBudget {
  bool fits = false;
  std::uint64_t neededBytes = 0;
  std::uint64_t allowedBytes = 0;
};
inline constexpr std::uint64_t kMontageByteLimit = 2ull << 30;  // 2 GiB
// availableBytes: what the system can spare (AvailableMemoryBytes() for the real one).
MontageBudget CheckMontageBudget(int cols, int rows, std::uint64_t availableBytes);
// MemAvailable of /proc/meminfo in bytes; the physical pages free when that cannot be read.
std::uint64_t AvailableMemoryBytes();

// Writes the montage of tiles (cols x rows 480 x 640 BGR tiles, top row first, row-major, each
// CV_8UC3 and continuous) into dst as a bottom-up 24-bit pixel array: cols * 1,440 bytes a row
// (no padding), rows * 640 rows, the top tile row last. These are the bytes the BMP encoding of
// an edge-to-edge montage of the tiles stores. dst holds MontageBytes(cols, rows). False (dst
// untouched) when the tiles do not match the grid.
bool AssembleMontage(const std::vector<cv::Mat>& tiles, int cols, int rows, BYTE* dst);

// The zoom geometry of the montage view: client rectangle (l, t, r, b), montage W x H pixels.
// Factor f = min(height / H, width / W) rounded to single precision, the scaled corner in single
// precision, and the scaled width and height rounded down to multiples of 32.
struct ZoomGeometry {
  float factor = 0.0f;
  int right = 0;   // r2
  int bottom = 0;  // b2
  int width = 0;   // (r2 - l) rounded down to a multiple of 32
  int height = 0;  // (b2 - t) likewise
};
ZoomGeometry MontageZoomGeometry(const RECT& client, int W, int H);
// The size of a W x H image zoomed to fit inside width x height keeping its aspect ratio, as the
// image library rounds it (nearest pixel, at least 1); 0 x 0 for an empty box.
cv::Size FitInside(int W, int H, int width, int height);

// A display copy of the montage (bottom-up pixel array as AssembleMontage writes it, W x H) zoomed
// to fit geometry width x height, encoded as a 24-bit BMP by the image library. On success
// *header describes it (height positive: bottom-up) and *pixels holds the BMP's pixel array, rows
// padded to four bytes, with the image's top-left pixel set to grey 190. False with the library's
// reason in *error; nothing is thrown.
bool MakeMontageDisplay(const BYTE* montage, int W, int H, int width, int height,
                        BITMAPINFOHEADER* header, std::vector<BYTE>* pixels, std::string* error);

// Applies the project's own resource limits to the image library once per process (memory and
// pixel-cache map sized to what a display copy needs, no spilling to disk), so that the system's
// policy file does not decide. Called by MakeMontageDisplay.
void InitImageLibrary();

}  // namespace kx
