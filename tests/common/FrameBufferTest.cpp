// The window's frame buffer: partial stores, copies, and frames arriving during reads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/FrameBuffer.h"

namespace kx {
namespace {

TEST(FrameBuffer, StoresAtMostOneFrameAndShortFramesOnlyTheirBytes) {
  FrameBuffer buffer;
  std::vector<BYTE> big(kFrameBytes + 100, 9);
  EXPECT_EQ(buffer.Store(big.data(), big.size()), kFrameBytes);
  std::vector<BYTE> shortFrame(1440, 3);
  EXPECT_EQ(buffer.Store(shortFrame.data(), shortFrame.size()), 1440u);
  EXPECT_EQ(buffer.Store(nullptr, 100), 0u);
  EXPECT_EQ(buffer.Sequence(), 2u);
  const cv::Mat snap = buffer.Snapshot();
  ASSERT_EQ(snap.rows, 640);
  ASSERT_EQ(snap.cols, 480);
  ASSERT_EQ(snap.type(), CV_8UC3);
  EXPECT_EQ(snap.at<cv::Vec3b>(0, 479), cv::Vec3b(3, 3, 3));
  EXPECT_EQ(snap.at<cv::Vec3b>(1, 0), cv::Vec3b(9, 9, 9));
  // The snapshot is a copy: later stores do not change it.
  buffer.Store(big.data(), 10);
  EXPECT_EQ(snap.at<cv::Vec3b>(0, 0), cv::Vec3b(3, 3, 3));
  EXPECT_EQ(buffer.Header().biHeight, -640);
}

TEST(FrameBuffer, ReadersNeverSeeAHalfWrittenFrame) {
  FrameBuffer buffer;
  std::atomic<bool> done{false};
  std::thread camera([&] {
    std::vector<BYTE> frame(kFrameBytes);
    for (int i = 1; i <= 200; ++i) {
      std::fill(frame.begin(), frame.end(), static_cast<BYTE>(i));
      buffer.Store(frame.data(), frame.size());
    }
    done = true;
  });
  std::vector<BYTE> copy(kFrameBytes);
  int torn = 0, reads = 0;
  while (!done || reads < 20) {
    buffer.CopyTo(copy.data());
    ++reads;
    for (std::size_t i = 0; i < kFrameBytes; i += 4099) torn += copy[i] != copy[0];
    const cv::Mat snap = buffer.Snapshot();
    torn += snap.data[kFrameBytes - 1] != snap.data[0];
  }
  camera.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(buffer.Sequence(), 200u);
}

}  // namespace
}  // namespace kx
