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
#include <thread>
#include <unistd.h>

using namespace vyr_find;

namespace {

// What a search reported, by target.
struct Heard
{
    std::map<std::string, Found_sensor> found;
    std::map<std::string, std::string> silent; // target: reason
    long last_done = 0, last_total = 0;
    int repeats = 0; // a target reported twice

    Search_report report()
    {
        Search_report report;
        report.found = [this](const Found_sensor& sensor) {
            repeats +=
                found.count(sensor.endpoint.target()) + silent.count(sensor.endpoint.target());
            found[sensor.endpoint.target()] = sensor;
        };
        report.silent = [this](const Silent_endpoint& each) {
            repeats += found.count(each.endpoint.target()) + silent.count(each.endpoint.target());
            silent[each.endpoint.target()] = each.reason;
        };
        report.progress = [this](long done, long total) {
            last_done = done;
            last_total = total;
        };
        return report;
    }
};

long long msec_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

TEST(Network_search, finds_every_sensor_of_a_24_and_lists_the_silent_ones)
{
    const std::vector<int> sensors{2,   9,   17,  23,  31,  48,  55,  64,  77,  91,
                                   102, 118, 126, 133, 150, 167, 181, 199, 222, 253};
    Sensor_network net(71, sensors, {5, 100, 240});
    // One that answers with a wrong checksum: no sensor of this protocol.
    vyr_sim::Simulator garbled;
    garbled.set_fault(vyr_sim::Fault::data_checksum);
    ASSERT_TRUE(garbled.start_tcp(net.port(), net.address(60)));

    Network_search search;
    Address_range range;
    std::string error;
    ASSERT_TRUE(parse_range(net.range(), range, error));
    search.ranges = {range};
    search.port = net.port();
    search.timeout_ms = 300;
    Heard heard;
    const auto start = std::chrono::steady_clock::now();
    const Network_outcome outcome = search_network(search, heard.report());
    EXPECT_LT(msec_since(start), 1500);

    EXPECT_EQ(outcome.addresses, 254);
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(heard.last_done, 254);
    EXPECT_EQ(heard.repeats, 0);
    ASSERT_EQ(heard.found.size(), sensors.size());
    for (size_t i = 0; i < sensors.size(); ++i) {
        const std::string target = net.address(sensors[i]) + ":" + std::to_string(net.port());
        ASSERT_EQ(heard.found.count(target), 1u) << target;
        const Found_sensor& sensor = heard.found[target];
        EXPECT_EQ(sensor.identity.serial_number, Sensor_network::serial_of(sensors[i]));
        EXPECT_EQ(sensor.identity.product, "VYR-SIM01");
        EXPECT_EQ(sensor.identity.firmware_version, "1.2.3");
        EXPECT_FALSE(sensor.measuring);
        // "VV" and nothing else: a search changes nothing on a sensor.
        EXPECT_EQ(command_texts(net.sensor(i)), std::vector<std::string>{"VV"}) << target;
    }
    const std::string port = ":" + std::to_string(net.port());
    const std::map<std::string, std::string> silent{
        {net.address(5) + port, "no answer"},
        {net.address(60) + port, "not a sensor's answer"},
        {net.address(100) + port, "no answer"},
        {net.address(240) + port, "no answer"}};
    EXPECT_EQ(heard.silent, silent);
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
    const auto start = std::chrono::steady_clock::now();
    const Network_outcome outcome = search_network(search, report, &stop);
    EXPECT_TRUE(outcome.stopped);
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

// A host that keeps a sensor measuring: it started the scans and keeps the line open.
class Measuring_host
{
public:
    explicit Measuring_host(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios settings{};
        if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) {
            throw std::runtime_error("cannot open " + path);
        }
        cfmakeraw(&settings);
        cfsetispeed(&settings, B115200);
        cfsetospeed(&settings, B115200);
        tcsetattr(fd_, TCSANOW, &settings);
        const char request[] = "MD0044072501000\n";
        if (write(fd_, request, sizeof request - 1) != sizeof request - 1) {
            throw std::runtime_error("cannot write");
        }
    }
    ~Measuring_host() { close(fd_); }

private:
    int fd_ = -1;
};

TEST(Serial_search, tries_each_rate_and_leaves_ports_in_use_alone)
{
    const long rates[] = {115200, 38400, 19200};
    std::vector<std::unique_ptr<vyr_sim::Simulator>> sensors;
    Serial_search search;
    for (const long rate : rates) {
        sensors.push_back(std::make_unique<vyr_sim::Simulator>());
        sensors.back()->set_serial_rate(rate);
        sensors.back()->set_mismatch(vyr_sim::Mismatch::garbage);
        sensors.back()->set_version_field("SERI", "R" + std::to_string(rate));
        ASSERT_TRUE(sensors.back()->start_serial());
        search.devices.push_back(sensors.back()->serial_path());
    }
    vyr_sim::Simulator measuring;
    measuring.set_version_field("SERI", "M1");
    ASSERT_TRUE(measuring.start_serial());
    const Measuring_host host(measuring.serial_path());
    ASSERT_TRUE(measuring.wait_for_received(1, 1000));
    search.devices.push_back(measuring.serial_path());

    PseudoTerminal nobody;
    PseudoTerminal locked;
    const int holder = open(locked.device_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    search.devices.push_back(nobody.device_path());
    search.devices.push_back(locked.device_path());

    Heard heard;
    const auto start = std::chrono::steady_clock::now();
    search_serial(search, heard.report());
    // Ports in parallel: the slowest tries three rates.
    EXPECT_LT(msec_since(start), 1500);
    EXPECT_EQ(heard.last_done, 6);
    EXPECT_EQ(heard.repeats, 0);

    ASSERT_EQ(heard.found.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        const Found_sensor& sensor = heard.found[sensors[i]->serial_path()];
        EXPECT_EQ(sensor.endpoint.baudrate, rates[i]);
        EXPECT_EQ(sensor.identity.serial_number, "R" + std::to_string(rates[i]));
        EXPECT_FALSE(sensor.measuring);
        // The rate is the host's alone: no "SS", no "QT", nothing but "VV".
        for (const std::string& line : command_texts(*sensors[i])) {
            EXPECT_EQ(line, "VV");
        }
    }
    const Found_sensor& busy = heard.found[measuring.serial_path()];
    EXPECT_TRUE(busy.measuring);
    EXPECT_EQ(busy.identity.serial_number, "M1");
    EXPECT_TRUE(measuring.snapshot().laser) << "left measuring";
    EXPECT_EQ(command_texts(measuring), (std::vector<std::string>{"MD0044072501000", "VV"}));

    EXPECT_EQ(heard.silent[nobody.device_path()], "no answer at 115200, 38400 or 19200 baud");
    EXPECT_EQ(heard.silent[locked.device_path()], "in use");
    close(holder);
}

} // namespace
