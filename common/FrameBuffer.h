// The latest raw camera frame a window keeps, written on the camera thread, read on its own.
// Threads: thread-safe (Store on the camera thread, readers on the window's).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

#include "common/BitmapInfo.h"
#include "common/Frame.h"
#include "common/WinTypes.h"

namespace kx {

// One 480 x 640 BGR frame (921,600 bytes, top row first), zero-filled at first. Store and the
// readers exclude each other only for the length of one copy, so neither side waits long.
class FrameBuffer {
 public:
  FrameBuffer();
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  // Copies min(count, 921,600) bytes from the start of bytes; a short frame updates only those
  // bytes. Null bytes or a zero count store nothing. Returns the number of bytes copied.
  std::size_t Store(const BYTE* bytes, std::size_t count);

  // Copies the whole frame (921,600 bytes) to dst, never a half-written one.
  void CopyTo(BYTE* dst) const;
  // A 640-row, 480-column CV_8UC3 copy of the frame.
  cv::Mat Snapshot() const;
  // The number of stores so far; changes when a new frame has arrived.
  std::uint64_t Sequence() const { return m_sequence.load(std::memory_order_acquire); }

  // The storage itself, stable for the buffer's lifetime, for code that must hand a frame
  // pointer around (bitmap headers, host calls). Reading through it races with Store: readers
  // that need a consistent frame use CopyTo or Snapshot.
  BYTE* Bits() { return m_bits.get(); }
  const BYTE* Bits() const { return m_bits.get(); }
  // The header that describes Bits(): 480 wide, -640 high, 24 bits.
  static constexpr BITMAPINFOHEADER Header() { return MakeFrameHeader(); }

 private:
  mutable std::mutex m_mutex;
  std::unique_ptr<BYTE[]> m_bits;
  std::atomic<std::uint64_t> m_sequence{0};
};

}  // namespace kx
