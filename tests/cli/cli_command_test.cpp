// Each subcommand against one simulated sensor: what the sensor received, what vyr
// printed, and how it exited.

#include "cli_run.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

struct Command_case
{
    const char* name;
    std::string arguments; // target added by the test
    Lines commands;        // received after the opening
    std::string text;      // expected in the text output
    const char* json_key;  // and in results[0] of the JSON document
    nlohmann::json json_value;
};

const std::string default_address = "192.168.0.11 255.255.255.0 192.168.0.1";

const Command_case command_cases[] = {
    {"heater_on", "heater on", {"%AH1"}, "heater: on\n", "heater", "on"},
    {"heater_off", "heater off", {"%AH0"}, "heater: off\n", "heater", "off"},
    {"phase_get", "phase", {"%PG"}, "phase: 45\n", "phase", 45},
    {"phase_set", "phase set 7", {"%SP007"}, "phase: 7\n", "phase", 7},
    {"phase_set_max", "phase set 359", {"%SP359"}, "phase: 359\n", "phase", 359},
    {"address_compact",
     "address set " + default_address,
     {"$IP192168000011255255255000192168000001", "RB", "RB"},
     "address:  192.168.0.11\n",
     "address",
     "192.168.0.11"},
    {"address_dotted",
     "address set " + default_address + " --form dotted",
     {"$IP192.168.000.011 255.255.255.000 192.168.000.001", "RB", "RB"},
     "netmask:  255.255.255.0\n",
     "gateway",
     "192.168.0.1"},
    {"reboot", "reboot", {"RB", "RB"}, "rebooted: yes\n", "rebooted", true},
    {"info",
     "info",
     {"VV", "VV", "VV", "II", "II"},
     "product:           VYR-SIM01\n",
     "steps_per_scan",
     682}, // the rows of a full scan, not the sensor's highest step + 1
};

class Command_test : public testing::TestWithParam<Command_case>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start_tcp(0));
        sim.set_phase(45);
    }
    vyr_sim::Simulator sim;
};

TEST_P(Command_test, sends_its_commands_and_prints_the_result)
{
    const Command_case& c = GetParam();
    const Cli_run run = run_vyr(c.arguments + " " + host_of(sim));
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
    Lines received = commands_after_open(sim);
    // Closing may add its own stop; it is not the subcommand's.
    if (!received.empty() && received.back() == "QT" && c.commands.back() != "QT") {
        received.pop_back();
    }
    EXPECT_EQ(received, c.commands);
}

TEST_P(Command_test, json_document)
{
    const Command_case& c = GetParam();
    const Cli_run run = run_vyr(c.arguments + " --json " + host_of(sim));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["exit_code"], 0);
    ASSERT_EQ(document["results"].size(), 1u);
    const nlohmann::json& result = document["results"][0];
    EXPECT_EQ(result["target"], "127.0.0.1:" + std::to_string(sim.tcp_port()));
    EXPECT_TRUE(result["error"].is_null());
    EXPECT_EQ(result[c.json_key], c.json_value);
}

INSTANTIATE_TEST_SUITE_P(Cli, Command_test, testing::ValuesIn(command_cases),
                         [](const testing::TestParamInfo<Command_case>& test_info) {
                             return test_info.param.name;
                         });

struct Usage_case
{
    const char* name;
    std::string arguments; // "HOST" stands for the simulator's --host
};

const Usage_case usage_cases[] = {
    {"no_target", "info"},
    {"no_subcommand", "HOST"},
    {"phase_above_range", "phase set 360 HOST"},
    {"phase_negative", "phase set -1 HOST"},
    {"phase_not_a_number", "phase set 4x HOST"},
    {"heater_unknown_state", "heater warm HOST"},
    {"octet_above_255", "address set 192.168.0.256 255.255.255.0 192.168.0.1 HOST"},
    {"three_octets", "address set 192.168.0.11 255.255.255 192.168.0.1 HOST"},
    {"unknown_form", "address set " + default_address + " --form wide HOST"},
    {"address_on_two_sensors", "address set " + default_address + " HOST HOST"},
    {"host_not_ipv4", "info HOST --host sensor.example"},
    {"port_out_of_range", "info HOST --host 127.0.0.1:70000"},
    {"missing_hosts_file", "info --hosts /nonexistent/fleet.txt"},
    {"jobs_above_16", "info --jobs 17 HOST"},
    {"range_reversed", "scan --range 5:1 HOST"},
    {"range_and_angles", "scan --range 1:5 --angles 0:10 HOST"},
    {"scan_two_sensors", "scan HOST HOST"},
    {"group_above_99", "scan --group 100 HOST"},
};

class Usage_test : public testing::TestWithParam<Usage_case>
{
};

TEST_P(Usage_test, exits_2_and_sends_nothing)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    std::string arguments = GetParam().arguments;
    for (size_t at; (at = arguments.find("HOST")) != std::string::npos;) {
        arguments.replace(at, 4, host_of(sim));
    }
    const Cli_run run = run_vyr(arguments);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE(run.err, "");
    EXPECT_EQ(sim.connections_accepted(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cli, Usage_test, testing::ValuesIn(usage_cases),
                         [](const testing::TestParamInfo<Usage_case>& test_info) {
                             return test_info.param.name;
                         });

TEST(Cli, no_target_says_how_to_name_one)
{
    const Cli_run run = run_vyr("heater on");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--host ADDR[:PORT], --hosts FILE or --serial DEVICE"),
              std::string::npos)
        << run.err;
}

TEST(Cli, each_subcommand_has_help_with_an_example)
{
    for (const char* command :
         {"ports", "info", "heater", "phase", "address set", "scan", "reboot"}) {
        const Cli_run run = run_vyr(std::string(command) + " --help");
        EXPECT_EQ(run.exit_code, 0) << command;
        EXPECT_NE(run.out.find("Example"), std::string::npos) << command << "\n" << run.out;
    }
}

struct Failure_case
{
    const char* name;
    vyr_sim::Fault fault; // on every command beginning with fault_command
    const char* fault_command;
    std::string arguments;
    int exit_code;
    const char* reason;
};

const Failure_case failure_cases[] = {
    {"heater_refused", vyr_sim::Fault::refused_status, "%AH", "heater on", 1, "status \"05"},
    {"phase_silent", vyr_sim::Fault::no_answer, "%PG", "phase", 1, "no answer within 1000 ms"},
    {"address_refused", vyr_sim::Fault::refused_status, "$IP", "address set " + default_address, 1,
     "did not take the new address"},
    {"silent_sensor", vyr_sim::Fault::no_answer, "", "info", 3, "no answer from a sensor"},
};

class Failure_test : public testing::TestWithParam<Failure_case>
{
};

TEST_P(Failure_test, names_the_target_and_the_reason)
{
    const Failure_case& c = GetParam();
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    sim.set_fault_command(c.fault_command);
    sim.set_fault(c.fault);
    const Cli_run run = run_vyr(c.arguments + " " + host_of(sim));
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    EXPECT_NE(run.err.find("vyr: 127.0.0.1:" + std::to_string(sim.tcp_port()) + ": "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(sim.reboot_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cli, Failure_test, testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<Failure_case>& test_info) {
                             return test_info.param.name;
                         });

TEST(Cli, refused_connection_keeps_the_driver_text_and_says_refused)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    const std::string host = host_of(sim);
    sim.stop();
    const Cli_run run = run_vyr("info " + host);
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_NE(run.err.find("could not open ethernet port. (connection refused)"), std::string::npos)
        << run.err;
}

TEST(Cli, serial_device_that_cannot_be_used_says_why)
{
    const std::pair<const char*, const char*> devices[] = {
        {"/dev/vyr_no_such_tty", "(no such device)"},
        {"/dev/null", "(not a serial port)"},
    };
    for (const auto& [device, reason] : devices) {
        const Cli_run run = run_vyr(std::string("info --serial ") + device);
        EXPECT_EQ(run.exit_code, 3) << device;
        EXPECT_NE(run.err.find(std::string("could not open serial device. ") + reason),
                  std::string::npos)
            << run.err;
    }
}

TEST(Cli, heater_over_the_pseudo_terminal)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_serial());
    const Cli_run run = run_vyr("heater on --json --serial " + sim.serial_path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["results"][0]["heater"], "on");
    EXPECT_TRUE(sim.heater());
    const Lines received = commands_after_open(sim);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0], "%AH1");
}

TEST(Cli, scan_rows_per_echo_with_the_simulated_values)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    sim.set_pacing(vyr_sim::Pacing::fast);
    const Cli_run run =
        run_vyr("scan --type multiecho-intensity --count 2 --range -1:1 " + host_of(sim));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity");
    const int front = 384; // the simulator's AFRT
    size_t rows = 0;
    for (int scan = 0; scan < 2; ++scan) {
        for (int index = 0; index < 3; ++index) {
            const int step = index - 1;
            for (int echo = 0; echo < vyr_sim::sim_echo_count(step + front, scan); ++echo, ++rows) {
                ASSERT_TRUE(std::getline(lines, line));
                char angle[16];
                std::snprintf(angle, sizeof angle, "%.3f", step * 360.0 / 1024);
                const std::string tail =
                    "," + std::to_string(index) + "," + std::to_string(step) + "," + angle + "," +
                    std::to_string(echo) + "," +
                    std::to_string(vyr_sim::sim_distance(step + front, scan, echo)) + "," +
                    std::to_string(vyr_sim::sim_intensity(step + front, scan, echo));
                EXPECT_EQ(line.substr(line.find(',', line.find(',') + 1)), tail) << line;
                EXPECT_EQ(line.substr(0, line.find(',')), std::to_string(scan));
            }
        }
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
    EXPECT_GT(rows, 6u);
    EXPECT_EQ(commands_after_open(sim).at(0), "NE0383038500002");
}

TEST(Cli, endless_scan_into_head_stops_the_sensor)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    const Cli_run run = run_vyr("scan --count 0 --format ndjson " + host_of(sim), "head -n 5");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5);
    const Lines received = commands_after_open(sim);
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received.front().substr(0, 2), "MD");
    EXPECT_EQ(received.back(), "QT");
    EXPECT_FALSE(sim.client_connected());
}

} // namespace
