#include "loopback_socket.h"
#include "sim_sensor_test.h"
#include "vyr_driver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using Texts = std::vector<std::string>;
using kvt::Lidar;

namespace {

class Driver_test : public Sim_test
{
protected:
    kvt::Vyr_driver driver;

    bool open_driver_tcp()
    {
        if (!tcp_started) {
            tcp_started = sim.start_tcp(0);
        }
        return driver.open("127.0.0.1", sim.tcp_port(), Lidar::Ethernet);
    }
};

} // namespace

TEST_F(Driver_test, OpenAndCloseOverTcp)
{
    EXPECT_FALSE(driver.is_open());
    ASSERT_TRUE(open_driver_tcp());
    EXPECT_TRUE(driver.is_open());
    EXPECT_STREQ(driver.last_error_text(), "no error.");
    driver.close();
    EXPECT_FALSE(driver.is_open());
    driver.close(); // a second close does nothing
    EXPECT_EQ(received(), (Texts{"QT", "PP"}));
}

TEST_F(Driver_test, ReopenClosesTheOldConnectionFirst)
{
    ASSERT_TRUE(open_driver_tcp());
    ASSERT_TRUE(open_driver_tcp());
    EXPECT_EQ(sim.connections_accepted(), 2);
    // Nothing was running, so the close between the two sends nothing.
    EXPECT_EQ(received(), (Texts{"QT", "PP", "QT", "PP"}));

    EXPECT_FALSE(driver.open("127.0.0.1", free_loopback_port(), Lidar::Ethernet));
    EXPECT_FALSE(driver.is_open());
    EXPECT_STREQ(driver.last_error_text(), "could not open ethernet port.");
    EXPECT_TRUE(sim.wait_for_received(4, 100));
    // The old link is gone: the simulated sensor sees its client leave.
    for (int i = 0; i < 50 && sim.client_connected(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(sim.client_connected());
}

TEST_F(Driver_test, ReopenStopsOutputThatMayBePending)
{
    ASSERT_TRUE(open_driver_tcp());
    ASSERT_TRUE(driver.laser_on());
    ASSERT_TRUE(open_driver_tcp());
    EXPECT_EQ(received(), (Texts{"QT", "PP", "BM", "QT", "QT", "PP"}));
    EXPECT_FALSE(sim.laser_on());
}

TEST_F(Driver_test, TypeOtherThanEthernetOpensSerial)
{
    ASSERT_TRUE(sim.start_serial());
    const std::string path = sim.serial_path();
    EXPECT_TRUE(driver.open(path.c_str(), 115200, static_cast<Lidar::connection_type>(2)));
    EXPECT_TRUE(driver.is_open());
    EXPECT_EQ(received_rates(), (std::vector<long>{115200, 115200}));

    EXPECT_FALSE(driver.open("/nonexistent/tty", 115200, Lidar::Serial));
    EXPECT_STREQ(driver.last_error_text(), "could not open serial device.");
}

TEST_F(Driver_test, SerialPortWithoutSensorReportsDetectionFailure)
{
    sim.set_serial_rate(57600);
    ASSERT_TRUE(sim.start_serial());
    EXPECT_FALSE(driver.open(sim.serial_path().c_str(), 115200, Lidar::Serial));
    EXPECT_FALSE(driver.is_open());
    EXPECT_STREQ(driver.last_error_text(), "could not detect serial baudrate.");
}

TEST_F(Driver_test, RawAccessReachesTheSensorUntilClose)
{
    char line[100] = "before";
    EXPECT_LT(driver.raw_write("%PG\n", 4), 0);
    EXPECT_LT(driver.raw_readline(line, sizeof line, 50), 0);

    sim.set_phase(123);
    ASSERT_TRUE(open_driver_tcp());
    ASSERT_EQ(driver.raw_write("%PG\n", 4), 4);
    Texts lines;
    int length;
    while ((length = driver.raw_readline(line, sizeof line, 1000)) > 0) {
        lines.emplace_back(line, length);
    }
    EXPECT_EQ(length, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "%PG");
    EXPECT_EQ(lines[1], "00P");
    EXPECT_EQ(lines[2].substr(0, 3), "123");

    ASSERT_EQ(driver.raw_write("%PG\n", 4), 4);
    char bytes[8];
    EXPECT_EQ(driver.raw_read(bytes, 4, 1000), 4);
    EXPECT_EQ(std::string(bytes, 4), "%PG\n");
    while (driver.raw_readline(line, sizeof line, 1000) > 0) {
    }

    driver.close();
    EXPECT_LT(driver.raw_readline(line, sizeof line, 50), 0);
    EXPECT_FALSE(driver.is_open());
    EXPECT_LT(driver.raw_write("%PG\n", 4), 0);
}

TEST_F(Driver_test, RebootLeavesDriverFlagButEndsTheLink)
{
    ASSERT_TRUE(open_driver_tcp());
    driver.reboot();
    EXPECT_EQ(sim.reboot_count(), 1);
    EXPECT_TRUE(driver.is_open());
    EXPECT_LT(driver.raw_write("QT\n", 3), 0);
    driver.close();
    EXPECT_FALSE(driver.is_open());
    EXPECT_EQ(received(), (Texts{"QT", "PP", "RB", "RB"}));
}

TEST_F(Driver_test, TimeoutIsHandedToTheEngine)
{
    ASSERT_TRUE(open_driver_tcp());
    sim.set_fault(vyr_sim::Fault::delay);
    sim.set_fault_delay_ms(400);
    driver.set_timeout(100);
    // With the time-out shortened the delayed reply to "RB" is missed.
    driver.reboot();
    EXPECT_STREQ(driver.last_error_text(), "invalid response.");
    EXPECT_EQ(sim.reboot_count(), 0);
    EXPECT_FALSE(driver.link_lost()); // a silent sensor is no lost one
}

// The code and the system's reason say what the text says, and belong to the last call only.
TEST_F(Driver_test, FailuresGiveTheirCodeAndTheSystemsReason)
{
    EXPECT_FALSE(driver.open("127.0.0.1", free_loopback_port(), Lidar::Ethernet));
    EXPECT_EQ(driver.last_error(), kvt::Error::ethernet_open_error);
    EXPECT_STREQ(driver.last_error_text(), kvt::error_text(driver.last_error()));
    EXPECT_EQ(driver.system_reason().number, ECONNREFUSED);
    EXPECT_EQ(driver.system_reason().call, "connect");

    ASSERT_TRUE(open_driver_tcp());
    EXPECT_EQ(driver.last_error(), kvt::Error::none);
    EXPECT_EQ(driver.system_reason().number, 0);

    // The sensor closes the link after its status line; a later send meets the closed socket.
    sim.set_fault(vyr_sim::Fault::close_after_status);
    ASSERT_EQ(driver.raw_write("%PG\n", 4), 4);
    for (int i = 0; i < 100 && driver.raw_write("%PG\n", 4) == 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(driver.system_reason().call, "send");
    EXPECT_NE(driver.system_reason().number, 0);
}

// A peer gone is told apart from a silent one over either link, without changing the
// failure's own code, and the next open forgets it.
TEST_F(Driver_test, ALostLinkIsRecordedUntilTheNextOpen)
{
    struct Row
    {
        Lidar::connection_type type;
        const char* detail;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {Lidar::Ethernet, "the sensor closed the connection", {"recv", "send"}},
        {Lidar::Serial, "the device was unplugged", {"read", "write"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.detail);
        const bool serial = row.type == Lidar::Serial;
        vyr_sim::Simulator peer;
        ASSERT_TRUE(serial ? peer.start_serial() : peer.start_tcp(0));
        const std::string device = serial ? peer.serial_path() : "127.0.0.1";
        ASSERT_TRUE(driver.open(device.c_str(), serial ? 115200 : peer.tcp_port(), row.type));
        driver.set_timeout(200);
        EXPECT_FALSE(driver.link_lost());
        EXPECT_STREQ(driver.link_lost_text(), "");

        peer.stop();
        EXPECT_FALSE(driver.laser_on());
        EXPECT_TRUE(driver.link_lost());
        EXPECT_STREQ(driver.link_lost_text(), row.detail);
        EXPECT_STREQ(driver.last_error_detail(), row.detail);
        EXPECT_STREQ(driver.last_error_text(), kvt::error_text(driver.last_error()));
        EXPECT_NE(driver.last_error(), kvt::Error::none);
        EXPECT_NE(driver.system_reason().number, 0);
        EXPECT_NE(std::find(row.calls.begin(), row.calls.end(), driver.system_reason().call),
                  row.calls.end())
            << driver.system_reason().call;
        driver.close();
    }
    ASSERT_TRUE(open_driver_tcp());
    EXPECT_FALSE(driver.link_lost());
    EXPECT_EQ(driver.system_reason().number, 0);
}

TEST_F(Driver_test, AnUnconfirmedStopIsNoSuccess)
{
    ASSERT_TRUE(open_driver_tcp());
    ASSERT_TRUE(driver.start_scans(Lidar::Range, 0, 0));
    sim.set_fault(vyr_sim::Fault::ignore_stop);
    driver.set_timeout(100);
    driver.stop_scans();
    EXPECT_NE(driver.last_error(), kvt::Error::none);
    EXPECT_STREQ(driver.last_error_text(), kvt::error_text(driver.last_error()));
}

TEST(Driver_ports, ListsNamesAndFlagsSideBySide)
{
    std::vector<int> flags{7, 7, 7};
    const std::vector<std::string> names = kvt::Vyr_driver::list_ports(flags);
    ASSERT_EQ(names.size(), flags.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_FALSE(names[i].empty());
        EXPECT_TRUE(flags[i] == 0 || flags[i] == 1);
    }
    EXPECT_EQ(kvt::Vyr_driver::list_ports(), names);
}
