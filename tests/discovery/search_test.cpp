// Searches against simulated sensors on loopback addresses and pseudo-terminals.

#include "network_search.h"
#include "pseudo_terminal.h"
#include "received_lines.h"
#include "sensor_network.h"
#include "serial_search.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace vyr_find;

namespace {

using Clock = std::chrono::steady_clock;

// What a search reported, by target: "PRODUCT FIRMWARE SERIAL[ RATE][ measuring]" for a
// sensor, the reason for a silent endpoint; "twice" when one came again.
struct Heard
{
    std::map<std::string, std::string> by_target;
    long done = 0;

    void note(const Endpoint& place, const std::string& text)
    {
        by_target[place.target()] = by_target.count(place.target()) ? "twice" : text;
    }
    Search_report report()
    {
        Search_report report;
        report.found = [this](const Found_sensor& sensor) {
            const Identity& id = sensor.identity;
            note(sensor.endpoint,
                 id.product + " " + id.firmware_version + " " + id.serial_number +
                     (sensor.endpoint.baudrate ? " " + std::to_string(sensor.endpoint.baudrate)
                                               : "") +
                     (sensor.measuring ? " measuring" : ""));
        };
        report.silent = [this](const Silent_endpoint& each) { note(each.endpoint, each.reason); };
        report.progress = [this](long done_now, long) { done = done_now; };
        return report;
    }
};

long long msec_since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Network_search, finds_every_sensor_of_a_24_and_lists_the_silent_ones)
{
    const std::vector<int> hosts{2,   9,   17,  23,  31,  48,  55,  64,  77,  91,
                                 102, 118, 126, 133, 150, 167, 181, 199, 222, 253};
    Sensor_network net(71, hosts, {5, 100, 240});
    // One that answers with a wrong checksum: no sensor of this protocol.
    vyr_sim::Simulator garbled;
    garbled.set_fault(vyr_sim::Fault::data_checksum);
    ASSERT_TRUE(garbled.start_tcp(net.port(), net.address(60)));

    Network_search search;
    std::string error;
    search.ranges.resize(1);
    ASSERT_TRUE(parse_range(net.range(), search.ranges[0], error));
    search.port = net.port();
    search.timeout_ms = 300;
    Heard heard;
    const auto start = Clock::now();
    const Network_outcome outcome = search_network(search, heard.report());
    EXPECT_LT(msec_since(start), 1500);
    EXPECT_EQ(outcome.addresses, 254);
    EXPECT_EQ(heard.done, 254);

    const std::string port = ":" + std::to_string(net.port());
    std::map<std::string, std::string> expected{{net.address(5) + port, "no answer"},
                                                {net.address(60) + port, "not a sensor's answer"},
                                                {net.address(100) + port, "no answer"},
                                                {net.address(240) + port, "no answer"}};
    for (size_t i = 0; i < hosts.size(); ++i) {
        expected[net.address(hosts[i]) + port] =
            "VYR-SIM01 1.2.3 " + Sensor_network::serial_of(hosts[i]);
        // "VV" and nothing else: a search changes nothing on a sensor.
        EXPECT_EQ(command_texts(net.sensor(i)), std::vector<std::string>{"VV"});
    }
    EXPECT_EQ(heard.by_target, expected);
}

TEST(Network_search, stops_when_asked)
{
    // Listeners that never answer: each address would wait its whole time-out.
    Sensor_network net(72, {1}, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
    Network_search search;
    search.ranges = {Address_range{0x7F004801, 0x7F0048FE}};
    search.port = net.port();
    search.timeout_ms = 5000;
    Stop_flag stop{false};
    Search_report report;
    report.progress = [&stop](long, long) { stop = true; };
    const auto start = Clock::now();
    EXPECT_TRUE(search_network(search, report, &stop).stopped);
    EXPECT_LT(msec_since(start), 500);
}

TEST(Network_search, raises_the_descriptor_limit_for_its_sockets)
{
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 1024) {
        GTEST_SKIP() << "hard descriptor limit " << before.rlim_max;
    }
    rlimit low = before;
    low.rlim_cur = 128;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    EXPECT_EQ(sockets_allowed(max_sockets_in_flight), max_sockets_in_flight);
    rlimit after{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_GE(after.rlim_cur, rlim_t(max_sockets_in_flight));
    setrlimit(RLIMIT_NOFILE, &before);
}

TEST(Serial_search, tries_each_rate_and_leaves_ports_in_use_alone)
{
    Serial_search search;
    std::map<std::string, std::string> expected;
    std::vector<std::unique_ptr<vyr_sim::Simulator>> sensors;
    for (const long rate : {115200L, 38400L, 19200L}) {
        sensors.push_back(std::make_unique<vyr_sim::Simulator>());
        sensors.back()->set_serial_rate(rate);
        sensors.back()->set_mismatch(vyr_sim::Mismatch::garbage);
        sensors.back()->set_version_field("SERI", "R" + std::to_string(rate));
        ASSERT_TRUE(sensors.back()->start_serial());
        search.devices.push_back(sensors.back()->serial_path());
        const std::string speed = std::to_string(rate);
        expected[search.devices.back()] = "VYR-SIM01 1.2.3 R" + speed + " " + speed;
    }
    // Another host started scans and keeps the line open.
    vyr_sim::Simulator measuring;
    ASSERT_TRUE(measuring.start_serial());
    const int host = open(measuring.serial_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    ASSERT_EQ(tcgetattr(host, &raw), 0);
    cfmakeraw(&raw);
    cfsetspeed(&raw, B115200);
    tcsetattr(host, TCSANOW, &raw);
    ASSERT_EQ(write(host, "MD0044072501000\n", 16), 16);
    ASSERT_TRUE(measuring.wait_for_received(1, 1000));
    search.devices.push_back(measuring.serial_path());
    expected[measuring.serial_path()] = "VYR-SIM01 1.2.3 S0000001 115200 measuring";

    PseudoTerminal nobody, locked;
    const int holder = open(locked.device_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    search.devices.push_back(nobody.device_path());
    search.devices.push_back(locked.device_path());
    expected[nobody.device_path()] = "no answer at 115200, 38400 or 19200 baud";
    expected[locked.device_path()] = "in use";

    Heard heard;
    const auto start = Clock::now();
    search_serial(search, heard.report());
    EXPECT_LT(msec_since(start), 1500); // in parallel: the slowest port tries three rates
    EXPECT_EQ(heard.done, 6);
    EXPECT_EQ(heard.by_target, expected);
    // One "VV" for each rate tried, and nothing else: no "SS", no "QT" for the scans.
    for (size_t i = 0; i < sensors.size(); ++i) {
        EXPECT_EQ(command_texts(*sensors[i]), std::vector<std::string>(i + 1, "VV"));
    }
    EXPECT_EQ(command_texts(measuring), (std::vector<std::string>{"MD0044072501000", "VV"}));
    EXPECT_TRUE(measuring.snapshot().laser) << "left measuring";
    close(holder);
    close(host);
}

} // namespace
