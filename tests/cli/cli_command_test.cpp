// Each subcommand against one simulated sensor: what the sensor received, what vyr
// printed, and how it exited.

#include "cli_run.h"
#include "vyr_driver.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <arpa/inet.h>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    {"phase_set_leading_zero", "phase set 010", {"%SP010"}, "phase: 10\n", "phase", 10}, // not octal
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
    {"address_forced",
     "address set 192.168.0.255 255.255.255.0 192.168.0.1 --force",
     {"$IP192168000255255255255000192168000001", "RB", "RB"},
     "address:  192.168.0.255\n",
     "address",
     "192.168.0.255"},
    // The simulated sensor follows to another loopback address after its reboot, and is
    // asked there only who it is.
    {"address_verified",
     "address set 127.0.0.7 255.255.255.0 0.0.0.0 --verify",
     {"$IP127000000007255255255000000000000000", "RB", "RB", "VV"},
     " (serial S0000001)\n",
     "serial_number",
     "S0000001"},
    {"reboot", "reboot", {"RB", "RB"}, "rebooted: yes\n", "rebooted", true},
    {"info",
     "info",
     {"VV", "II"},
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
    std::string arguments; // "HOST" stands for the simulator's --host, "FILE:x" for a file below
    std::string message = "";
};

// Hosts files that are no list of targets, by name.
class Hosts_files
{
public:
    Hosts_files()
    {
        std::system(("mkdir -p " + dir_).c_str());
        write("empty", "# nothing here yet\n\n");
        write("nul", std::string("127.0.0.1:1\n127.0.0.1\0:1 and more\n", 34));
        write("long", std::string(5000, ' ') + "127.0.0.1\n");
        write("huge", std::string((1 << 20) + 1, '#'));
        mkfifo(path("fifo").c_str(), 0600);
    }
    ~Hosts_files() { std::system(("rm -rf " + dir_).c_str()); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string dir_ = testing::TempDir() + "vyr_hosts_" + std::to_string(getpid());
};

const Usage_case usage_cases[] = {
    {"no_target", "info"},
    {"no_subcommand", "HOST"},
    {"phase_above_range", "phase set 360 HOST"},
    {"phase_negative", "phase set -1 HOST"},
    {"phase_not_a_number", "phase set 4x HOST"},
    {"heater_unknown_state", "heater warm HOST"},
    {"typed_escape_shown", "heater $(printf \"\\033\")c HOST", "\\x1Bc not in {on,off}"},
    {"octet_above_255", "address set 192.168.0.256 255.255.255.0 192.168.0.1 HOST"},
    {"three_octets", "address set 192.168.0.11 255.255.255 192.168.0.1 HOST"},
    {"unknown_form", "address set " + default_address + " --form wide HOST"},
    {"address_on_two_sensors", "address set " + default_address + " HOST HOST"},
    {"address_mask_with_gap", "address set 192.168.0.11 255.255.0.255 192.168.0.1 HOST",
     "the subnet mask 255.255.0.255 is not contiguous (ones, then zeros); nothing was sent"},
    {"address_is_network", "address set 10.0.0.0 255.0.0.0 0.0.0.0 HOST",
     "10.0.0.0 is the network address of 10.0.0.0/8"},
    {"address_gateway_elsewhere", "address set 192.168.0.11 255.255.255.0 10.0.0.1 HOST",
     "the gateway 10.0.0.1 is outside 192.168.0.0/24"},
    {"host_not_ipv4", "info HOST --host sensor.example"},
    {"port_out_of_range", "info HOST --host 127.0.0.1:70000"},
    {"missing_hosts_file", "info --hosts /nonexistent/fleet.txt"},
    {"jobs_above_16", "info --jobs 17 HOST"},
    {"range_reversed", "scan --range 5:1 HOST"},
    {"range_and_angles", "scan --range 1:5 --angles 0:10 HOST"},
    {"scan_two_sensors", "scan HOST HOST"},
    {"group_above_99", "scan --group 100 HOST"},
    {"count_fraction", "scan --count 1.5 HOST",
     "--count: expected a whole number from 0 to 2147483647, not \"1.5\""},
    {"count_negative", "scan --count -1 HOST", "not \"-1\""},
    {"skip_above_9", "scan --skip 10 HOST", "from 0 to 9"},
    {"timeout_zero", "info --timeout 0 HOST", "from 1 to 600000"},
    {"baud_huge", "info --baud 99999999999999999999 --serial ttyS0", "from 1 to 4000000"},
    {"angles_beyond_a_turn", "scan --angles -1e300:0 HOST", "from -360 to 360"},
    {"port_zero", "info --host 127.0.0.1:0", "the port must be a number from 1 to 65535"},
    {"port_with_sign", "info --host 127.0.0.1:+80", "the port must be"},
    {"octet_with_four_digits", "info --host 127.0.0.0001", "not an IPv4 address"},
    {"hosts_folder", "info --hosts /tmp", "/tmp: is a folder"},
    {"hosts_device", "info --hosts /dev/zero", "/dev/zero: not a regular file"},
    {"hosts_fifo", "info --hosts FILE:fifo", "fifo: not a regular file"},
    {"hosts_empty", "info --hosts FILE:empty", "empty: names no sensor"},
    {"hosts_nul", "info --hosts FILE:nul", "nul:2: holds a NUL byte"},
    {"hosts_long_line", "info --hosts FILE:long", "long:1: longer than 4096 characters"},
    {"hosts_huge", "info --hosts FILE:huge", "huge: larger than 1 MiB"},
    {"find_range_malformed", "find --range 127.0.0.0/33", "is no address range"},
    {"find_range_above_a_16", "find --range 127.0.0.0/8", "larger than a /16"},
    {"find_both_only_flags", "find --serial-only --tcp-only --range 127.0.0.1"},
    {"find_with_a_host", "find HOST --range 127.0.0.1 --tcp-only", "not --host or --hosts"},
    {"find_port_zero", "find --port 0 --range 127.0.0.1 --tcp-only", "from 1 to 65535"},
};

class Usage_test : public testing::TestWithParam<Usage_case>
{
};

TEST_P(Usage_test, exits_2_and_sends_nothing)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    const Hosts_files files;
    std::string arguments = GetParam().arguments;
    for (size_t at; (at = arguments.find("HOST")) != std::string::npos;) {
        arguments.replace(at, 4, host_of(sim));
    }
    if (const size_t at = arguments.find("FILE:"); at != std::string::npos) {
        arguments.replace(at, 5, files.path(""));
    }
    const Cli_run run = run_vyr(arguments);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE(run.err, "");
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_LT(run.msec, 5000); // a FIFO or a device is never opened, let alone read
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
         {"ports", "info", "heater", "phase", "address set", "scan", "reboot", "find"}) {
        const Cli_run run = run_vyr(std::string(command) + " --help");
        EXPECT_EQ(run.exit_code, 0) << command;
        EXPECT_NE(run.out.find("Example"), std::string::npos) << command << "\n" << run.out;
    }
}

TEST(Cli, ports_shows_the_drivers_listing)
{
    // Both forms show the driver's one listing, in the driver's order.
    const std::vector<kvt::Port_entry> entries = kvt::Vyr_driver::list_port_entries();
    nlohmann::json ports = nlohmann::json::array();
    std::string text;
    size_t width = 0;
    for (const kvt::Port_entry& entry : entries) {
        width = std::max(width, entry.name.size());
    }
    for (const kvt::Port_entry& entry : entries) {
        const std::string shown = entry.name + entry.description;
        if (std::any_of(shown.begin(), shown.end(), [](char c) { return c < ' ' || c > '~'; })) {
            GTEST_SKIP() << "this machine has a port text that is shown escaped";
        }
        ports.push_back(
            {{"name", entry.name}, {"sensor", entry.sensor}, {"description", entry.description}});
        text += entry.name + std::string(width - entry.name.size(), ' ') + "  " +
                (entry.sensor ? "sensor" : "      ") + "  " + entry.description + "\n";
    }
    const Cli_run json = run_vyr("ports --json");
    EXPECT_EQ(json.exit_code, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out),
              (nlohmann::json{{"command", "ports"}, {"exit_code", 0}, {"ports", ports}}));
    const Cli_run plain = run_vyr("ports");
    EXPECT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_EQ(plain.out, text);
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
    {"silent_sensor", vyr_sim::Fault::no_answer, "", "info", 3, "(no answer to \"QT\" within"},
    {"reboot_unanswered", vyr_sim::Fault::no_answer, "RB", "reboot", 1,
     "(no answer to \"RB\" within"},
    {"product_unanswered", vyr_sim::Fault::no_answer, "VV", "info", 1,
     "receive error. (no answer to \"VV\" within"},
    {"phase_link_closed", vyr_sim::Fault::close_after_status, "%PG", "phase", 1,
     "(connection lost: the sensor closed the connection)"},
    {"product_link_closed", vyr_sim::Fault::close_after_status, "VV", "info", 1,
     "receive error. (connection lost: the sensor closed the connection)"},
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

// A simulated sensor does not leave loopback: there is nothing to wait for.
TEST(Cli, address_verify_fails_when_the_sensor_cannot_be_seen_there)
{
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    const Cli_run run = run_vyr("address set " + default_address + " --verify " + host_of(sim));
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find("the sensor was not seen at its new address (not checked: a simulated sensor"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(sim.reboot_count(), 1);
    EXPECT_LT(run.msec, 5000);
}

INSTANTIATE_TEST_SUITE_P(Cli, Failure_test, testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<Failure_case>& test_info) {
                             return test_info.param.name;
                         });

// What a sensor (or the system) can throw at vyr's output: bytes of 0x80 and above,
// terminal controls and markup in sensor texts, a full disk, impossible requests.
enum class Sensor_end { any, stopped, not_measured };

struct Hostile_case
{
    const char* name;
    void (*setup)(vyr_sim::Simulator&);
    std::string arguments; // the simulator's --host is added
    const char* out_file;  // takes standard output when not empty
    int exit_code;
    std::string out; // expected in standard output
    std::string err; // expected in standard error
    Sensor_end end;
};

const std::string hostile_product = "VYR\xff\x1b[2J\x07<b>x</b><img src=\"/dev/zero\">";

void hostile_texts(vyr_sim::Simulator& sim)
{
    sim.set_version_field("PROD", hostile_product);
    sim.set_version_field("SERI", "S\x1b]0;title\x07");
    sim.set_info_field("STAT", "Stable \xb0\x9b" "31m");
}
void nul_in_a_text(vyr_sim::Simulator& sim)
{
    sim.set_version_field("PROD", std::string("VYR\0\x1b[8m", 8));
}
void plain(vyr_sim::Simulator&) {}
void scans_without_steps(vyr_sim::Simulator& sim)
{
    sim.set_fault_command("MD");
    sim.set_fault(vyr_sim::Fault::no_steps);
}

const char* const full = "/dev/full";
const int any_exit_code = -1;
const char* const write_error = "vyr: write error: No space left on device\n";
const std::string beyond_range = " is beyond the measurable range (this sensor measures from "
                                 "-119.531 to 119.883 degrees, steps -340 to 341)";

const Hostile_case hostile_cases[] = {
    {"texts_shown_escaped", hostile_texts, "info", "", 0,
     "product:           VYR\u00ff\\x1B[2J\\x07<b>x</b><img src=\"/dev/zero\">\n", "",
     Sensor_end::any},
    {"status_latin1_and_c1_escaped", hostile_texts, "info", "", 0,
     "sensor_status:     Stable \u00b0\\x9B31m\nmeasurement_state", "", Sensor_end::any},
    {"texts_as_latin1_json", hostile_texts, "info --json", "", 0,
     "\"product\": \"VYR\u00ff\\u001b[2J\\u0007<b>x</b><img src=\\\"/dev/zero\\\">\"", "",
     Sensor_end::any},
    {"serial_name_as_latin1_json", plain, "info --json --serial /dev/vyr_$(printf \"\\377\\033\")", "",
     3, "\"target\": \"/dev/vyr_\u00ff\\u001b\"",
     "vyr: /dev/vyr_\u00ff\\x1B: could not open serial device. (no such device)", Sensor_end::any},
    // However the driver takes a NUL, what reaches the JSON is valid and says so.
    {"nul_in_a_text", nul_in_a_text, "info --json", "", any_exit_code, "\"exit_code\"", "",
     Sensor_end::any},
    {"info_to_full_disk", plain, "info", full, 1, "", write_error, Sensor_end::any},
    {"heater_json_to_full_disk", plain, "heater on --json", full, 1, "", write_error,
     Sensor_end::any},
    {"phase_to_full_disk", plain, "phase", full, 1, "", write_error, Sensor_end::any},
    {"endless_csv_to_full_disk", plain, "scan --count 0", full, 1, "", write_error,
     Sensor_end::stopped},
    {"counted_csv_to_full_disk", plain, "scan --count 50", full, 1, "", write_error,
     Sensor_end::stopped},
    {"angles_beyond_the_range", plain, "scan --angles 170:180", "", 2, "",
     "--angles 170:180" + beyond_range, Sensor_end::not_measured},
    {"steps_beyond_the_range", plain, "scan --range 500:600", "", 2, "",
     "--range 500:600" + beyond_range, Sensor_end::not_measured},
    {"scan_without_steps", scans_without_steps, "scan --count 3", "", 1, "",
     ": the sensor sent a scan without steps (scan 0)", Sensor_end::stopped},
    // A recording that cannot be written is found before anything is measured.
    {"record_to_full_disk", plain, "scan --count 3 --record /dev/full", "", 1, "",
     ": could not write the recording (/dev/full: No space left on device)",
     Sensor_end::not_measured},
    {"record_into_a_folder", plain, "scan --count 3 --record /tmp", "", 1, "",
     ": could not write the recording (/tmp: Is a directory)", Sensor_end::not_measured},
};

bool is_scan_request(const std::string& line)
{
    const std::string head = line.substr(0, 2);
    return head == "MD" || head == "ME" || head == "ND" || head == "NE" || head == "GD" ||
           head == "GE" || head == "HD" || head == "HE";
}

class Hostile_test : public testing::TestWithParam<Hostile_case>
{
};

TEST_P(Hostile_test, output_stays_safe_and_the_exit_code_says_what_happened)
{
    const Hostile_case& c = GetParam();
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    sim.set_pacing(vyr_sim::Pacing::fast);
    c.setup(sim);
    const Cli_run run = run_vyr(c.arguments + " " + host_of(sim), "", c.out_file);
    if (c.exit_code != any_exit_code) {
        EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
    }
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    for (const std::string* text : {&run.out, &run.err}) {
        EXPECT_TRUE(is_utf8(*text)) << *text;
        EXPECT_EQ(std::count_if(text->begin(), text->end(),
                                [](char b) { return (b >= 0 && b < 0x20 && b != '\n') || b == 0x7F; }),
                  0)
            << *text;
    }
    if (c.arguments.find("--json") != std::string::npos && *c.out_file == '\0') {
        const nlohmann::json document = nlohmann::json::parse(run.out);
        EXPECT_EQ(document["exit_code"], run.exit_code);
    }
    const Lines received = commands_after_open(sim);
    const bool measured = std::any_of(received.begin(), received.end(), is_scan_request);
    if (c.end == Sensor_end::stopped) {
        EXPECT_TRUE(measured);
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back(), "QT");
    }
    if (c.end == Sensor_end::not_measured) {
        EXPECT_FALSE(measured) << received.front();
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, Hostile_test, testing::ValuesIn(hostile_cases),
                         [](const testing::TestParamInfo<Hostile_case>& test_info) {
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

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct Scan_case
{
    const char* name;
    std::string arguments;
    int first_step, last_step, group;
    bool multiecho, intensity;
    const char* request;
};

const Scan_case scan_cases[] = {
    {"multiecho_intensity", "--type multiecho-intensity --range -1:1", -1, 1, 1, true, true,
     "NE0383038500002"},
    {"intensity", "--type intensity --range -1:1", -1, 1, 1, false, true, "ME0383038500002"},
    {"multiecho", "--type multiecho --range -1:1", -1, 1, 1, true, false, "ND0383038500002"},
    // A group reports its first step's values; the rows follow the groups' first steps.
    {"grouped_steps", "--range -3:5 --group 3", -3, 5, 3, false, false, "MD0381038903002"},
};

class Scan_test : public testing::TestWithParam<Scan_case>
{
};

TEST_P(Scan_test, rows_per_echo_with_the_simulated_values)
{
    const Scan_case& c = GetParam();
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    sim.set_pacing(vyr_sim::Pacing::fast);
    const Cli_run run = run_vyr("scan --count 2 " + c.arguments + " " + host_of(sim));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity");
    const int front = 384; // the simulator's AFRT
    size_t rows = 0;
    for (int scan = 0; scan < 2; ++scan) {
        for (int index = 0; c.first_step + index * c.group <= c.last_step; ++index) {
            const int step = c.first_step + index * c.group;
            const int echoes = c.multiecho ? vyr_sim::sim_echo_count(step + front, scan) : 1;
            for (int echo = 0; echo < echoes; ++echo, ++rows) {
                ASSERT_TRUE(std::getline(lines, line));
                char angle[16];
                std::snprintf(angle, sizeof angle, "%.3f", step * 360.0 / 1024);
                const std::string tail =
                    "," + std::to_string(index) + "," + std::to_string(step) + "," + angle + "," +
                    std::to_string(echo) + "," +
                    std::to_string(vyr_sim::sim_distance(step + front, scan, echo)) + "," +
                    (c.intensity ? std::to_string(vyr_sim::sim_intensity(step + front, scan, echo))
                                 : "");
                EXPECT_EQ(line.substr(line.find(',', line.find(',') + 1)), tail) << line;
                EXPECT_EQ(line.substr(0, line.find(',')), std::to_string(scan));
            }
        }
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
    EXPECT_GE(rows, 6u);
    EXPECT_EQ(commands_after_open(sim).at(0), c.request);
}

// Recorded from the simulated sensor, then served by vyr_sim --replay over TCP and the
// pseudo-terminal: the same lines, time stamps included, from the first again after the last.
TEST_P(Scan_test, a_replayed_recording_gives_the_recorded_lines)
{
    const Scan_case& c = GetParam();
    vyr_sim::Simulator sim;
    ASSERT_TRUE(sim.start_tcp(0));
    sim.set_pacing(vyr_sim::Pacing::fast);
    char name[] = "/tmp/vyr_replay_XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    const std::string path = std::string(name) + "/scans.ndjson";
    const std::string scan = "scan --format ndjson " + c.arguments + " ";
    const Cli_run live = run_vyr(scan + "--count 3 --record " + path + " " + host_of(sim));
    ASSERT_EQ(live.exit_code, 0) << live.err;
    const std::vector<std::string> recorded = lines_of(live.out);
    ASSERT_EQ(recorded.size(), 3u);
    std::vector<std::string> file = lines_of(read_text(path));
    ASSERT_EQ(file.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(file.begin() + 1, file.end()), recorded);
    EXPECT_NE(file[0].find(R"("serial_number":"S0000001")"), std::string::npos) << file[0];

    Sim_program replay("--port 0 --serial --replay " + path, 2);
    ASSERT_NE(replay.host(), "") << replay.error();
    const Cli_run tcp = run_vyr(scan + "--count 4 " + replay.host());
    ASSERT_EQ(tcp.exit_code, 0) << tcp.err;
    std::vector<std::string> expected = recorded;
    expected.push_back("{\"scan\":3" + recorded[0].substr(recorded[0].find(',')));
    EXPECT_EQ(lines_of(tcp.out), expected);
    const Cli_run serial = run_vyr(scan + "--count 3 " + replay.serial());
    ASSERT_EQ(serial.exit_code, 0) << serial.err;
    EXPECT_EQ(lines_of(serial.out), recorded);

    // What the recording cannot answer is refused: another kind, grouping or range.
    const std::string kind = c.arguments.substr(0, c.arguments.find("--range"));
    const std::string group = " --group " + std::to_string(c.group);
    const std::pair<std::string, const char*> refused[] = {
        {std::string("--type ") + (c.intensity ? "distance" : "intensity"), "(status 01)"},
        {kind + "--range -1:1 --group 7", "(status 03)"},
        {kind + "--range -300:300" + group, "(status 04)"}};
    // Each refusal costs the driver's wait for the end of the reply: the grouped case
    // tries all three, the others the kind alone.
    for (const auto& [arguments, status] : refused) {
        if (c.group == 1 && status != refused[0].second) {
            continue;
        }
        const Cli_run other = run_vyr("scan --count 2 " + arguments + " " + replay.host());
        EXPECT_EQ(other.exit_code, 1) << arguments;
        EXPECT_NE(other.err.find(status), std::string::npos) << arguments << ": " << other.err;
    }
    std::system(("rm -rf " + std::string(name)).c_str());
}

INSTANTIATE_TEST_SUITE_P(Cli, Scan_test, testing::ValuesIn(scan_cases),
                         [](const testing::TestParamInfo<Scan_case>& test_info) {
                             return test_info.param.name;
                         });

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

// Ctrl-C or SIGTERM on an endless scan: the sensor is stopped within 2 s whatever it does,
// and an unconfirmed stop is not passed off as success.
struct Stop_case
{
    const char* name;
    int signal;
    bool sensor_ignores_stop;
    int exit_code;
    const char* err;
};

const Stop_case stop_cases[] = {
    {"ctrl_c", SIGINT, false, 0, ""},
    {"sigterm", SIGTERM, false, 0, ""},
    {"ctrl_c_unanswered_stop", SIGINT, true, 1,
     ": the sensor did not confirm the stop ("},
};

class Stop_test : public testing::TestWithParam<Stop_case>
{
protected:
    // An endless scan under way, with the stop ignored when the case asks for it.
    void start(const std::string& extra = "")
    {
        ASSERT_TRUE(sim.start_tcp(0));
        vyr = std::make_unique<Vyr_process>("scan --count 0 " + extra + host_of(sim));
        ASSERT_TRUE(sim.wait_for_received(3, 5000)); // "QT", "PP", then the request
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (GetParam().sensor_ignores_stop) {
            sim.set_fault_command("QT");
            sim.set_fault(vyr_sim::Fault::no_answer);
        }
    }
    vyr_sim::Simulator sim;
    std::unique_ptr<Vyr_process> vyr;
};

TEST_P(Stop_test, first_signal_stops_the_sensor_within_2_s)
{
    const Stop_case& c = GetParam();
    char dir[] = "/tmp/vyr_stop_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string recording = std::string(dir) + "/scans.ndjson";
    // Short scans: a drain of what is queued cannot take long.
    start("--range 0:0 --format ndjson --record " + recording + " ");
    vyr->signal(c.signal);
    const Cli_run run = vyr->wait(10000);
    // The recording is complete: every scan written out, and only those.
    std::vector<std::string> recorded = lines_of(read_text(recording));
    std::system(("rm -rf " + std::string(dir)).c_str());
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(std::vector<std::string>(recorded.begin() + 1, recorded.end()), lines_of(run.out));
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    EXPECT_LE(run.msec, 2000 + 300) << "after the signal"; // a margin for load
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("may still be measuring") != std::string::npos, c.exit_code != 0);
    EXPECT_EQ(command_texts(sim).back(), "QT");
    EXPECT_GT(std::count(run.out.begin(), run.out.end(), '\n'), 0); // a scan at least
}

TEST_P(Stop_test, second_signal_ends_it_at_once)
{
    const Stop_case& c = GetParam();
    start();
    // Whether the sensor confirms or not, a second signal cuts the stop short.
    sim.set_fault_command("QT");
    sim.set_fault(vyr_sim::Fault::delay);
    vyr->signal(c.signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    vyr->signal(c.signal);
    const Cli_run run = vyr->wait(10000);
    EXPECT_EQ(run.exit_code, 128 + c.signal);
    EXPECT_LE(run.msec, 300);
}

INSTANTIATE_TEST_SUITE_P(Cli, Stop_test, testing::ValuesIn(stop_cases),
                         [](const testing::TestParamInfo<Stop_case>& test_info) {
                             return test_info.param.name;
                         });

// Octets are decimal: what vyr checks, shows and connects to is one address.
TEST(Cli, address_with_leading_zeros_is_decimal)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(0x7F00000A); // 127.0.0.10
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string port = std::to_string(ntohs(address.sin_port));

    const Cli_run run = run_vyr("info --json --timeout 100 --host 127.0.0.010:" + port);
    EXPECT_EQ(run.exit_code, 3) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["results"][0]["target"], "127.0.0.10:" + port);
    const int peer = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
    EXPECT_GE(peer, 0) << "nothing connected to 127.0.0.10";
    close(peer);
    close(listener);
}

} // namespace
