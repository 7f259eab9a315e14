// The virtual clock: time advances on sleep, listeners hear each interval. (Every scenario installs
// one for its lifetime and puts the previous clock back.)
#include <gtest/gtest.h>

#include <vector>

#include "platform/Clock.h"

namespace {

TEST(VirtualClock, SleepAdvancesTimeAndTellsListeners) {
  kx::VirtualClock clock(1000);
  std::vector<std::pair<std::int64_t, std::int64_t>> heard;
  const int id =
      clock.AddListener([&](std::int64_t from, std::int64_t to) { heard.emplace_back(from, to); });
  {
    kx::ScopedClock scoped(&clock);
    Sleep(200);
    EXPECT_EQ(GetTickCount(), 201u);
    Sleep(0);
    kx::Clock().SleepMicros(-5);  // negative counts as nothing
  }
  EXPECT_EQ(clock.NowMicros(), 201000);
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0], std::make_pair(std::int64_t{1000}, std::int64_t{201000}));
  EXPECT_EQ(heard[1], std::make_pair(std::int64_t{201000}, std::int64_t{201000}));
  clock.RemoveListener(id);
  clock.Advance(5);
  EXPECT_EQ(heard.size(), 3u);
}

}  // namespace
