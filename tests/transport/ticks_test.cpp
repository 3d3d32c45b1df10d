#include "ticks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(Ticks, CountMillisecondsOfWallClockTime)
{
    const int32_t before = vyr_ticks();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int32_t after = vyr_ticks();
    EXPECT_GE(after - before, 99);
    EXPECT_LE(after - before, 250);
}

TEST(Ticks, StartNearZeroWithTheProcess)
{
    const int32_t now = vyr_ticks();
    EXPECT_GE(now, 0);
    EXPECT_LT(now, 60000);
}

} // namespace
