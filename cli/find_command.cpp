#include "commands.h"
#include "output.h"
#include "run.h"
#include "targets.h"

#include <CLI/CLI.hpp>

namespace {

struct Find_options
{
    std::vector<std::string> ranges;
    long port = default_port;
    bool serial_only = false;
    bool tcp_only = false;
    bool all_ports = false;
    int timeout_ms = 0;
};

} // namespace

#ifdef _WIN32

namespace {

int run_find(const Common&, const Find_options&)
{
    print_error_line("find is not available on Windows");
    return exit_usage;
}

} // namespace

#else

#include "address_ranges.h"
#include "network_search.h"
#include "serial_search.h"
#include "terminal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// What both searches found, gathered from their threads.
struct Findings
{
    std::mutex mutex;
    std::vector<vyr_find::Found_sensor> sensors;
    std::vector<vyr_find::Silent_endpoint> silent;
    long tcp_done = 0, tcp_total = 0, serial_done = 0, serial_total = 0;
};

std::string shown_target(const vyr_find::Endpoint& place)
{
    return place.serial && place.baudrate > 0
               ? place.device + " (" + std::to_string(place.baudrate) + " baud)"
               : place.target();
}

Json endpoint_json(const vyr_find::Endpoint& place)
{
    Json item{{"target", place.target()}};
    if (place.serial) {
        item["device"] = place.device;
        if (place.baudrate > 0) {
            item["baudrate"] = place.baudrate;
        }
    } else {
        item["address"] = place.address;
        item["port"] = place.port;
    }
    return item;
}

void print_json(const Findings& findings, const std::vector<std::string>& notes, int exit_code)
{
    Json sensors = Json::array();
    for (const vyr_find::Found_sensor& sensor : findings.sensors) {
        Json item{{"target", sensor.endpoint.target()},
                  {"product", sensor.identity.product},
                  {"serial_number", sensor.identity.serial_number},
                  {"firmware_version", sensor.identity.firmware_version}};
        item.update(endpoint_json(sensor.endpoint));
        if (sensor.measuring) {
            item["state"] = "busy measuring";
        }
        sensors.push_back(item);
    }
    Json silent = Json::array();
    for (const vyr_find::Silent_endpoint& each : findings.silent) {
        Json item = endpoint_json(each.endpoint);
        item["reason"] = each.reason;
        silent.push_back(item);
    }
    write_out(json_text(Json{{"command", "find"},
                             {"exit_code", exit_code},
                             {"sensors", sensors},
                             {"silent", silent},
                             {"notes", notes}},
                        2) +
              "\n");
}

// Columns padded to their widest cell; a sensor's texts are shown, never obeyed.
void print_table(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<size_t> widths;
    std::vector<std::vector<std::string>> shown;
    for (const auto& row : rows) {
        shown.emplace_back();
        for (size_t i = 0; i < row.size(); ++i) {
            shown.back().push_back(visible_text(row[i]));
            widths.resize(std::max(widths.size(), i + 1));
            // Bytes, not characters: a Latin-1 letter may leave its column a little short.
            widths[i] = std::max(widths[i], shown.back().back().size());
        }
    }
    for (const auto& row : shown) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? row[i] + std::string(widths[i] - row[i].size() + 2, ' ')
                                       : row[i];
        }
        write_out(line + "\n");
    }
}

void print_text(const Findings& findings, const std::vector<std::string>& notes)
{
    if (!findings.sensors.empty()) {
        std::vector<std::vector<std::string>> rows{
            {"TARGET", "PRODUCT", "SERIAL NUMBER", "FIRMWARE"}};
        for (const vyr_find::Found_sensor& sensor : findings.sensors) {
            rows.push_back({shown_target(sensor.endpoint), sensor.identity.product,
                            sensor.identity.serial_number, sensor.identity.firmware_version});
            if (sensor.measuring) {
                rows.back().push_back("busy measuring");
            }
        }
        print_table(rows);
    }
    if (!findings.silent.empty()) {
        write_out(findings.sensors.empty() ? "" : "\n");
        write_out("Not answering as a sensor:\n");
        std::vector<std::vector<std::string>> rows;
        for (const vyr_find::Silent_endpoint& each : findings.silent) {
            rows.push_back({shown_target(each.endpoint), each.reason});
        }
        print_table(rows);
    }
    if (findings.sensors.empty()) {
        print_error_line("no sensor found");
    }
    for (const std::string& note : notes) {
        print_error_line(note);
    }
}

int run_find(const Common& common, const Find_options& options)
{
    if (!common.hosts.empty() || !common.hosts_file.empty()) {
        return usage_error("find searches for sensors itself: give --range A.B.C.D/N, not "
                           "--host or --hosts");
    }
    vyr_find::Network_search network;
    network.port = static_cast<int>(options.port);
    network.timeout_ms = options.timeout_ms > 0   ? options.timeout_ms
                         : common.time_out_ms > 0 ? common.time_out_ms
                                                  : vyr_find::default_connect_timeout_ms;
    for (const std::string& text : options.ranges) {
        vyr_find::Address_range range;
        std::string error;
        if (!vyr_find::parse_range(text, range, error)) {
            return usage_error(error);
        }
        network.ranges.push_back(range);
    }
    std::vector<std::string> notes;
    if (!options.serial_only && options.ranges.empty()) {
        vyr_find::Default_ranges defaults = vyr_find::default_ranges(vyr_find::system_interfaces());
        network.ranges = defaults.ranges;
        notes = defaults.notes;
    }
    if (options.serial_only) {
        network.ranges.clear();
    }
    vyr_find::Serial_search serial;
    if (!options.tcp_only) {
        serial.devices =
            common.serials.empty() ? vyr_find::listed_ports(options.all_ports) : common.serials;
        if (serial.devices.empty() && !options.all_ports) {
            notes.push_back("No serial port is marked as a sensor's; --all-ports tries every "
                            "port.");
        }
    }

    catch_stop_signals();
    vyr_find::Stop_flag stop{false};
    std::atomic<bool> finished{false};
    Findings findings;
    const bool progress = stderr_is_terminal();
    const auto show_progress = [&] {
        // Under findings.mutex.
        if (progress) {
            std::fprintf(stderr, "\rvyr: searched %ld of %ld, %zu found ",
                         findings.tcp_done + findings.serial_done,
                         findings.tcp_total + findings.serial_total, findings.sensors.size());
            std::fflush(stderr);
        }
    };
    const auto reporter = [&](bool on_serial) {
        vyr_find::Search_report report;
        report.found = [&](const vyr_find::Found_sensor& sensor) {
            std::lock_guard<std::mutex> lock(findings.mutex);
            findings.sensors.push_back(sensor);
        };
        report.silent = [&](const vyr_find::Silent_endpoint& each) {
            std::lock_guard<std::mutex> lock(findings.mutex);
            findings.silent.push_back(each);
        };
        report.progress = [&findings, &show_progress, on_serial](long done, long total) {
            std::lock_guard<std::mutex> lock(findings.mutex);
            (on_serial ? findings.serial_done : findings.tcp_done) = done;
            (on_serial ? findings.serial_total : findings.tcp_total) = total;
            show_progress();
        };
        return report;
    };
    const vyr_find::Search_report tcp_report = reporter(false);
    const vyr_find::Search_report serial_report = reporter(true);
    // The signal handler only notes the signal; this turns it into the searches' stop.
    std::thread watcher([&] {
        while (!finished && stop_signal() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop = stop_signal() != 0;
    });
    std::thread serial_thread;
    if (!serial.devices.empty()) {
        serial_thread = std::thread([&] { vyr_find::search_serial(serial, serial_report, &stop); });
    }
    if (!network.ranges.empty()) {
        vyr_find::search_network(network, tcp_report, &stop);
    }
    if (serial_thread.joinable()) {
        serial_thread.join();
    }
    finished = true;
    watcher.join();
    if (progress) {
        std::fputs("\r\033[K", stderr);
    }

    std::sort(findings.sensors.begin(), findings.sensors.end(),
              [](const auto& a, const auto& b) { return comes_before(a.endpoint, b.endpoint); });
    std::sort(findings.silent.begin(), findings.silent.end(),
              [](const auto& a, const auto& b) { return comes_before(a.endpoint, b.endpoint); });
    const int exit_code = stop_signal() != 0         ? interrupted_exit_code()
                          : findings.sensors.empty() ? exit_refused
                                                     : exit_ok;
    if (common.json) {
        print_json(findings, notes, exit_code);
    } else {
        print_text(findings, notes);
    }
    return exit_code;
}

} // namespace

#endif

void add_find_command(CLI::App& app, Common& common)
{
    static Find_options options;
    CLI::App* find = app.add_subcommand(
        "find", "Search the networks and serial ports for sensors; asks each only \"VV\""
#ifdef _WIN32
                " (not available on Windows)"
#endif
    );
    find->add_option("--range", options.ranges,
                     "Addresses to search, A.B.C.D/N or A.B.C.D-E; repeatable (default: the "
                     "networks of this computer's interfaces, at most 1024 addresses each)")
        ->type_name("RANGE");
    find->add_option("--port", options.port, "TCP port to try")
        ->capture_default_str()
        ->transform(whole_number(1, 65535));
    CLI::Option* serial_only =
        find->add_flag("--serial-only", options.serial_only, "Search the serial ports only");
    find->add_flag("--tcp-only", options.tcp_only, "Search the networks only")
        ->excludes(serial_only);
    find->add_flag("--all-ports", options.all_ports,
                   "Try every serial port, not only those marked as a sensor's");
    find->add_option("--timeout", options.timeout_ms,
                     "Time-out of the connect and of the answer in ms (default 500); each "
                     "serial rate waits 300 ms")
        ->type_name("MS")
        ->transform(whole_number(1, 60000));
    find->footer("Exit codes: 0 a sensor was found, 1 none, 2 usage error, 130 or 143 "
                 "interrupted (what was found so far is printed).\n"
                 "--serial DEVICE tries those devices in place of the listed ports.\n"
                 "Examples:\n  vyr find\n  vyr find --range 192.168.0.0/24 --tcp-only --json\n"
                 "  vyr find --serial-only --all-ports");
    find->callback([&common] { common.exit_code = run_find(common, options); });
}
