// vyr find over a made-up loopback network and a pseudo-terminal.

#include "cli_run.h"
#include "sensor_network.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

using nlohmann::json;

TEST(Cli_find, lists_the_sensors_of_a_range_then_the_silent_addresses)
{
    const std::vector<int> hosts{3, 40, 201};
    Sensor_network net(73, hosts, {77});
    vyr_sim::Simulator on_serial;
    on_serial.set_serial_rate(38400);
    on_serial.set_version_field("SERI", "P38400");
    ASSERT_TRUE(on_serial.start_serial());
    const std::string port = std::to_string(net.port());
    const std::string arguments = "find --timeout 300 --range " + net.range() + " --port " + port +
                                  " --serial " + on_serial.serial_path();

    const Cli_run run = run_vyr(arguments + " --json");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json sensors = json::array();
    for (const int host : hosts) {
        sensors.push_back({{"target", net.address(host) + ":" + port},
                           {"product", "VYR-SIM01"},
                           {"serial_number", Sensor_network::serial_of(host)},
                           {"firmware_version", "1.2.3"},
                           {"address", net.address(host)},
                           {"port", net.port()}});
    }
    sensors.push_back({{"target", on_serial.serial_path()},
                       {"product", "VYR-SIM01"},
                       {"serial_number", "P38400"},
                       {"firmware_version", "1.2.3"},
                       {"device", on_serial.serial_path()},
                       {"baudrate", 38400}});
    const json silent = {{{"target", net.address(77) + ":" + port},
                          {"address", net.address(77)},
                          {"port", net.port()},
                          {"reason", "no answer"}}};
    EXPECT_EQ(json::parse(run.out), (json{{"command", "find"},
                                          {"exit_code", 0},
                                          {"sensors", sensors},
                                          {"silent", silent},
                                          {"notes", json::array()}}));

    const Cli_run text = run_vyr(arguments);
    ASSERT_EQ(text.exit_code, 0) << text.err;
    for (const std::string& row : std::vector<std::string>{
             "TARGET                   PRODUCT    SERIAL NUMBER  FIRMWARE\n",
             net.address(40) + ":" + port, "  VYR-SIM01  H1040          1.2.3\n",
             on_serial.serial_path() + " (38400 baud)  VYR-SIM01  P38400         1.2.3\n",
             "\nNot answering as a sensor:\n" + net.address(77) + ":" + port + "  no answer\n"}) {
        EXPECT_NE(text.out.find(row), std::string::npos) << row << "\n" << text.out;
    }
}

TEST(Cli_find, nothing_found_exits_1)
{
    const Cli_run run = run_vyr("find --range 127.0.74.1-40 --tcp-only --timeout 200");
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("vyr: no sensor found"), std::string::npos) << run.err;
    EXPECT_LT(run.msec, 2000);
}

TEST(Cli_find, interrupted_prints_what_it_found)
{
    Sensor_network net(75, {3}, {9, 10});
    Vyr_process vyr("find --tcp-only --json --timeout 20000 --range " + net.range() + " --port " +
                    std::to_string(net.port()));
    ASSERT_TRUE(net.sensor(0).wait_for_received(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // its answer read
    vyr.signal(SIGINT);
    const Cli_run run = vyr.wait(5000);
    EXPECT_EQ(run.exit_code, 130) << run.err;
    EXPECT_LT(run.msec, 500) << "after the signal";
    const json document = json::parse(run.out);
    EXPECT_EQ(document["exit_code"], 130);
    ASSERT_EQ(document["sensors"].size(), 1u) << run.out;
    EXPECT_EQ(document["sensors"][0]["serial_number"], Sensor_network::serial_of(3));
}

TEST(Cli_find, finds_a_sensor_at_the_address_it_was_given)
{
    Sensor_network net(76, {5});
    const std::string port = std::to_string(net.port());
    const Cli_run change = run_vyr("address set 127.0.76.9 255.255.255.0 127.0.76.1 --host " +
                                   net.address(5) + ":" + port);
    ASSERT_EQ(change.exit_code, 0) << change.err;
    const Cli_run run =
        run_vyr("find --tcp-only --json --timeout 300 --range 127.0.76.0/24 --port " + port);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const json document = json::parse(run.out);
    ASSERT_EQ(document["sensors"].size(), 1u) << run.out;
    EXPECT_EQ(document["sensors"][0]["address"], "127.0.76.9");
}

} // namespace
