// A device that never stops talking must not hold the program: every reading
// loop ends with an error after a bounded number of lines.

#include "command_link.h"
#include "fault_cell.h"
#include "simulator.h"
#include "vyr_driver.h"
#include "vyr_exchange.h"
#include "vyr_sensor.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QStringList>

#include <vector>

using vyr_sim::Fault;

namespace {

class Endless_output : public ::testing::Test
{
protected:
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    QElapsedTimer clock;

    void SetUp() override
    {
        sim.set_scans_per_minute(2400);
        ASSERT_TRUE(sim.start_tcp(0));
        ASSERT_TRUE(driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet));
        ASSERT_TRUE(driver.set_scan_range(-10, 10, 1));
    }

    void talk_after(const char* command, Fault fault)
    {
        sim.set_fault_command(command);
        sim.set_fault(fault);
        clock.start();
    }
};

TEST_F(Endless_output, exchange_whose_data_lines_never_end_is_an_invalid_response)
{
    driver.close(); // the sensor serves one client at a time
    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    ASSERT_EQ(vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", sim.tcp_port()), VYR_NO_ERROR);
    talk_after("VV", Fault::endless_data);

    static const int accepted[] = {0, -1};
    char reply[504];
    EXPECT_EQ(exchange_command(&sensor, "VV\n", accepted, 390, reply, sizeof reply),
              VYR_INVALID_RESPONSE);
    EXPECT_EQ(sensor.last_error, VYR_INVALID_RESPONSE);
    EXPECT_LT(clock.elapsed(), 2000);
    vyr_close(&sensor);
}

TEST_F(Endless_output, command_link_stops_collecting_a_flood_long_before_its_time_out)
{
    Command_link link(driver);
    talk_after("%AH", Fault::endless_data);
    ASSERT_TRUE(link.send_command("%AH1\n"));
    QString response;
    EXPECT_FALSE(link.receive_response(response, "00P", 10000));
    EXPECT_LT(clock.elapsed(), 5000);
    const QStringList lines = response.split('\n');
    EXPECT_GT(lines.size(), 100);  // it did read the flood
    EXPECT_LE(lines.size(), 1000); // but only a bounded part of it
}

TEST_F(Endless_output, close_ends_while_output_goes_on_after_the_stop_command)
{
    ASSERT_TRUE(driver.start_scans(kvt::Lidar::Range, 0, 0));
    std::vector<long> distance;
    ASSERT_TRUE(driver.read_distance(distance, nullptr));

    talk_after("QT", Fault::talk_on);
    driver.close(); // stops the measurement and drains what the sensor still sends
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(driver.is_open());
}

TEST_F(Endless_output, reading_after_a_stop_that_never_ends_reports_the_stray_output)
{
    ASSERT_TRUE(driver.start_scans(kvt::Lidar::Range, 0, 0));
    talk_after("QT", Fault::talk_on);
    driver.stop_scans();
    EXPECT_LT(clock.elapsed(), 10000);

    // The next exchange meets the stray lines instead of its echo.
    clock.restart();
    EXPECT_STREQ(driver.product(), "receive error.");
    EXPECT_STREQ(driver.last_error_text(), "invalid response.");
    EXPECT_LT(clock.elapsed(), 10000);
}

} // namespace
