#include "encoding.h"
#include "tcp_sensor_test.h"

#include <chrono>

using namespace vyr_sim;
using Clock = std::chrono::steady_clock;

using Sensor_faults = Tcp_sensor;

TEST_F(Sensor_faults, checksum_faults_spoil_only_their_line)
{
    sim.set_fault(Fault::status_checksum);
    Lines r = ask("PP");
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[1].substr(0, 2), "00");
    EXPECT_NE(r[1], "00P");
    EXPECT_EQ(r[2].back(), checksum(r[2].substr(0, r[2].size() - 2)));

    sim.clear_faults();
    sim.set_fault(Fault::data_checksum);
    r = ask("PP");
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[1], "00P");
    EXPECT_NE(r[2].back(), checksum(r[2].substr(0, r[2].size() - 2)));
    EXPECT_EQ(r[3].back(), checksum(r[3].substr(0, r[3].size() - 2)));
}

TEST_F(Sensor_faults, echo_faults)
{
    sim.set_fault(Fault::wrong_echo);
    Lines r = ask("QT");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].size(), 2u);
    EXPECT_EQ(r[0][0], 'Q');
    EXPECT_NE(r[0][1], 'T');

    sim.clear_faults();
    sim.set_fault(Fault::long_line);
    r = ask("%AH1");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_GE(r[0].size(), 100u);
    EXPECT_EQ(r[0].rfind("%AH1", 0), 0u);
    EXPECT_EQ(r[1], "00P");
}

TEST_F(Sensor_faults, link_closed_after_the_status_line)
{
    sim.set_fault(Fault::close_after_status);
    EXPECT_EQ(ask("PP"), (Lines{"PP", "00P"}));
    EXPECT_FALSE(host->complete());
    EXPECT_FALSE(sim.client_connected());
}

TEST_F(Sensor_faults, silence_delay_and_trickle)
{
    sim.set_fault(Fault::no_answer);
    EXPECT_TRUE(ask("QT", 300).empty());
    EXPECT_EQ(sim.received().size(), 1u);

    sim.clear_faults();
    sim.set_fault(Fault::delay);
    sim.set_fault_delay_ms(400);
    auto start = Clock::now();
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));

    sim.clear_faults();
    sim.set_fault(Fault::trickle);
    sim.set_trickle_ms(20);
    start = Clock::now();
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"})); // 8 bytes, 7 pauses
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(140));
}

TEST_F(Sensor_faults, command_prefix_limits_the_faults)
{
    sim.set_fault(Fault::status_checksum);
    sim.set_fault_command("%PG");
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_NE(ask("%PG").at(1), "00P");
}

TEST_F(Sensor_faults, scan_faults_shape_the_echo_and_the_data)
{
    ask("BM");
    sim.set_fault(Fault::huge_range);
    Lines r = ask("GD0044004801");
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[0], "GD0000999901");
    size_t chars = 0;
    for (size_t i = 3; i < r.size(); ++i)
        chars += r[i].size() - 1;
    EXPECT_EQ(chars, 30000u);

    sim.clear_faults();
    sim.set_fault(Fault::short_echo_range);
    r = ask("GD0044004801");
    EXPECT_EQ(r.at(0), "GD0044004701"); // five steps sent, four announced
    EXPECT_EQ(r.at(3).size(), 16u);

    sim.clear_faults();
    sim.set_fault(Fault::leading_ampersand);
    EXPECT_EQ(ask("GD0044004801").at(3).at(0), '&');

    sim.clear_faults();
    sim.set_fault(Fault::no_steps);
    r = ask("GD0044004801");
    EXPECT_TRUE(host->complete());
    EXPECT_EQ(r.size(), 3u); // echo, status, time stamp
}
