// The latest raw camera frame a window keeps.
#include "common/FrameBuffer.h"

#include <algorithm>
#include <cstring>

namespace kx {

FrameBuffer::FrameBuffer() : m_bits(new BYTE[kFrameBytes]()) {}

std::size_t FrameBuffer::Store(const BYTE* bytes, std::size_t count) {
  if (!bytes || count == 0) return 0;
  const std::size_t n = std::min(count, kFrameBytes);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::memcpy(m_bits.get(), bytes, n);
  }
  m_sequence.fetch_add(1, std::memory_order_acq_rel);
  return n;
}

void FrameBuffer::CopyTo(BYTE* dst) const {
  if (!dst) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  std::memcpy(dst, m_bits.get(), kFrameBytes);
}

cv::Mat FrameBuffer::Snapshot() const {
  cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3);
  CopyTo(frame.data);
  return frame;
}

}  // namespace kx
