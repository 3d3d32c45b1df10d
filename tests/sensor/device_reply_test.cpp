// Replies found by fuzzing, played back over loopback exactly as the fuzz
// target fed them: the simulated sensor's reply to opening, then the input
// after its first byte (the fuzz target's scan mode).
#include "loopback_feed.h"
#include "vyr_measurement.h"
#include "vyr_sensor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string file_bytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class Device_reply_test : public ::testing::Test
{
protected:
    Loopback_feed feed;
    vyr_sensor sensor;

    Device_reply_test() { vyr_sensor_init(&sensor); }
    ~Device_reply_test() override
    {
        vyr_close(&sensor);
        feed.finish();
    }

    // Opens on the recorded reply, then serves the rest of the fuzz input; returns its mode.
    int open_with(const std::string& input_name)
    {
        const std::string open_reply = file_bytes(VYR_OPEN_REPLY);
        const std::string input = file_bytes(std::string(VYR_DEVICE_REPLIES) + "/" + input_name);
        EXPECT_FALSE(open_reply.empty());
        EXPECT_GT(input.size(), 1u);
        std::vector<Feed_part> parts = replies_per_line(open_reply);
        // A series of two scans: one request, then only reads.
        parts.push_back({input.substr(1), {}});
        feed.serve(std::move(parts));
        EXPECT_EQ(vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", feed.port()), 0);
        return input.empty() ? -1 : input[0];
    }
};

TEST_F(Device_reply_test, MultiEchoReplyToSingleEchoReadIsRefusedWithoutWritingPastTheArray)
{
    ASSERT_EQ(open_with("multiecho_reply_to_distance_read"), 1); // two scans requested
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 2, 0), 0);

    // One slot per step, as callers of the single-echo reads size it, and a guard behind.
    const size_t steps = static_cast<size_t>(sensor.area_max) + 1;
    const long guard = 0x5a5a5a5a;
    std::vector<long> distance(steps * 4, guard);
    long stamp = 0;
    EXPECT_EQ(vyr_read_distance(&sensor, distance.data(), &stamp), VYR_MEASUREMENT_TYPE_MISMATCH);
    EXPECT_EQ(sensor.last_error, VYR_MEASUREMENT_TYPE_MISMATCH);
    EXPECT_STREQ(vyr_error_text(&sensor), "measurement type mismatch.");
    for (size_t i = steps; i < distance.size(); ++i) {
        ASSERT_EQ(distance[i], guard) << "written past the steps at " << i;
    }
}

} // namespace
