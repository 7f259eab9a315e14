// The camera frame format: 480 x 640 pixels, BGR, top row first, no row padding.
// Threads: reentrant.
#pragma once

#include <cstddef>

namespace kx {

inline constexpr int kFrameWidth = 480;
inline constexpr int kFrameHeight = 640;
inline constexpr int kFrameChannels = 3;
inline constexpr int kFrameStride = kFrameWidth * kFrameChannels;  // 1,440 bytes a row
inline constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kFrameStride) * kFrameHeight;
// The pixel the camera looks at. Frame x runs along cutter x; frame rows run against cutter y.
inline constexpr int kFrameCentreX = kFrameWidth / 2;
inline constexpr int kFrameCentreY = kFrameHeight / 2;

static_assert(kFrameStride == 1440);
static_assert(kFrameBytes == 921600);

}  // namespace kx
