#include "run.h"

#include "fleet.h"
#include "terminal.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <cstdio>

void add_common_options(CLI::App& app, Common& common)
{
    app.add_option("--host", common.hosts, "Sensor over TCP, ADDR[:PORT] (port 10940 when left out); repeatable")
        ->type_name("ADDR[:PORT]");
    app.add_option("--hosts", common.hosts_file, "File of targets, one ADDR[:PORT] a line, # comments")
        ->type_name("FILE");
    app.add_option("--serial", common.serials, "Sensor on a serial device (ttyACM0 or /dev/ttyACM0); repeatable")
        ->type_name("DEVICE");
    app.add_option("--baud", common.baud, "Serial line speed")->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--timeout", common.time_out_ms, "Reply time-out of the driver in ms")
        ->type_name("MS")->check(CLI::Range(1, 600000));
    app.add_flag("--json", common.json, "One JSON document on standard output");
    app.add_option("--jobs", common.jobs, "Sensors worked on at the same time")
        ->capture_default_str()->check(CLI::Range(1, max_jobs));
}

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "vyr: %s\n", message.c_str());
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
    const Target_job job = [&](const Target& target) {
        Result result;
        kvt::Vyr_driver driver;
        Failure failure;
        if (!open_target(driver, target, common.time_out_ms, failure)) {
            result.fail(exit_no_connect, failure.text, failure.reason);
            return result;
        }
        operation(driver, result);
        driver.close();
        return result;
    };
    const bool progress = targets.size() > 1 && stderr_is_terminal();
    return print_results(command, run_fleet(targets, common.jobs, job, progress), common.json);
}

int run_on_named_targets(const Common& common, const std::string& command,
                         const Operation& operation)
{
    std::vector<Target> targets;
    return collect_targets(common, targets) ? run_on_targets(common, command, targets, operation)
                                            : exit_usage;
}
