#include "line_client.h"
#include "simulator.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace vyr_sim;
using Lines = std::vector<std::string>;

class Serial_sensor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start_serial());
        ASSERT_EQ(sim.serial_path().rfind("/dev/", 0), 0u);
    }
    Simulator sim;
};

TEST_F(Serial_sensor, answers_only_at_its_own_line_speed)
{
    Line_client host = Line_client::pty(sim.serial_path(), B38400);
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.send("QT\n"));
    EXPECT_EQ(host.drain(300), "");

    host.set_speed(B115200);
    ASSERT_TRUE(host.send("QT\n"));
    EXPECT_EQ(host.reply(), (Lines{"QT", "00P"}));

    auto rec = sim.received();
    ASSERT_EQ(rec.size(), 2u);
    EXPECT_EQ(rec[0].host_rate, 38400);
    EXPECT_EQ(rec[1].host_rate, 115200);
}

TEST_F(Serial_sensor, mismatch_can_send_garbage)
{
    sim.set_mismatch(Mismatch::garbage);
    Line_client host = Line_client::pty(sim.serial_path(), B19200);
    ASSERT_TRUE(host.send("QT\n"));
    std::string noise = host.drain(300);
    EXPECT_FALSE(noise.empty());
    EXPECT_EQ(noise.find("QT"), std::string::npos);
}

TEST_F(Serial_sensor, accepted_rate_change_applies_after_the_reply)
{
    Line_client host = Line_client::pty(sim.serial_path(), B115200);
    ASSERT_TRUE(host.send("SS019200\n"));
    EXPECT_EQ(host.reply(), (Lines{"SS019200", "00P"}));
    EXPECT_EQ(sim.serial_rate(), 19200);

    ASSERT_TRUE(host.send("QT\n"));
    EXPECT_EQ(host.drain(300), "");
    host.set_speed(B19200);
    ASSERT_TRUE(host.send("QT\n"));
    EXPECT_EQ(host.reply(), (Lines{"QT", "00P"}));
}

TEST_F(Serial_sensor, a_host_leaving_stops_the_measurement)
{
    {
        Line_client first = Line_client::pty(sim.serial_path(), B115200);
        ASSERT_TRUE(first.send("MD0044004801000\n"));
        EXPECT_EQ(first.reply(), (Lines{"MD0044004801000", "00P"}));
        EXPECT_EQ(first.reply().at(1), "99b");
    }
    for (int i = 0; i < 40 && sim.laser_on(); ++i)
        usleep(25000);
    EXPECT_FALSE(sim.laser_on());

    Line_client second = Line_client::pty(sim.serial_path(), B115200);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.drain(300), "");
    ASSERT_TRUE(second.send("QT\n"));
    EXPECT_EQ(second.reply(), (Lines{"QT", "00P"}));
}
