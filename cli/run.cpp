#include "run.h"

#include "fleet.h"
#include "output.h"
#include "terminal.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <cstdio>

CLI::Validator whole_number(long low, long high)
{
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            long value = 0;
            if (!parse_signed_number(text, low, high, value)) {
                return "expected a whole number from " + range + ", not \"" + visible_text(text) +
                       "\"";
            }
            // The parser would take a leading zero for octal.
            text = std::to_string(value);
            return "";
        },
        "INT in [" + std::to_string(low) + " - " + std::to_string(high) + "]");
}

void add_common_options(CLI::App& app, Common& common)
{
    app.add_option("--host", common.hosts,
                   "Sensor over TCP, ADDR[:PORT] (port 10940 when left out); repeatable")
        ->type_name("ADDR[:PORT]");
    app.add_option("--hosts", common.hosts_file,
                   "File of targets, one ADDR[:PORT] a line, # comments")
        ->type_name("FILE");
    app.add_option("--serial", common.serials,
#ifdef _WIN32
                   "Sensor on a serial port (COM3); repeatable")
#else
                   "Sensor on a serial device (ttyACM0 or /dev/ttyACM0); repeatable")
#endif
        ->type_name("DEVICE");
    app.add_option("--baud", common.baud, "Serial line speed")
        ->capture_default_str()
        ->transform(whole_number(1, max_baud));
    app.add_option("--timeout", common.time_out_ms, "Reply time-out of the driver in ms")
        ->type_name("MS")
        ->transform(whole_number(1, 600000));
    app.add_flag("--json", common.json, "One JSON document on standard output");
    app.add_option("--jobs", common.jobs, "Sensors worked on at the same time")
        ->capture_default_str()
        ->transform(whole_number(1, max_jobs));
}

std::string driver_reason(kvt::Vyr_driver& driver, const std::string& fallback)
{
    const std::string detail = driver.last_error_detail();
    return detail.empty() ? fallback : detail;
}

int usage_error(const std::string& message)
{
    print_error_line(message);
    return exit_usage;
}

bool collect_targets(const Common& common, std::vector<Target>& targets)
{
    std::string error;
    for (const std::string& text : common.hosts) {
        Target target;
        if (!parse_host(text, target, error)) {
            usage_error(error);
            return false;
        }
        targets.push_back(target);
    }
    if (!common.hosts_file.empty() && !read_hosts_file(common.hosts_file, targets, error)) {
        usage_error(error);
        return false;
    }
    for (const std::string& device : common.serials) {
        targets.push_back(Target{true, device, common.baud});
    }
    if (targets.empty() && !common.hosts_file.empty()) {
        usage_error(common.hosts_file + ": names no sensor (one ADDR[:PORT] a line, # comments)");
        return false;
    }
    if (targets.empty()) {
        usage_error("no sensor named: give --host ADDR[:PORT], --hosts FILE or --serial DEVICE "
                    "(vyr ports lists the serial ports)");
        return false;
    }
    return true;
}

int run_on_targets(const Common& common, const std::string& command,
                   const std::vector<Target>& targets, const Operation& operation)
{
    const Target_job job = [&](const Target& target, kvt::Vyr_driver& driver) {
        Result result;
        Failure failure;
        if (!open_target(driver, target, common.time_out_ms, failure)) {
            result.fail(exit_no_connect, failure.text, failure.reason);
            return result;
        }
        operation(driver, result);
        const std::string lost = result.error.empty() ? "" : lost_link_reason(driver);
        if (!lost.empty()) {
            result.reason = lost;
        }
        driver.close();
        return result;
    };
    catch_stop_signals();
    const bool progress = targets.size() > 1 && stderr_is_terminal();
    const Fleet_outcome outcome = run_fleet(targets, common.jobs, job, progress);
    const int exit_code = print_results(command, outcome.results, common.json);
    if (outcome.interrupted) {
        // Jobs left behind may still wait on their sensors; nothing is to be had from them.
        exit_now(finish_output(exit_code));
    }
    return exit_code;
}

int run_on_named_targets(const Common& common, const std::string& command,
                         const Operation& operation)
{
    std::vector<Target> targets;
    return collect_targets(common, targets) ? run_on_targets(common, command, targets, operation)
                                            : exit_usage;
}
