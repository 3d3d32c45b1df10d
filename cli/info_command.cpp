#include "commands.h"
#include "run.h"
#include "sensor_information.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>

namespace {

void read_info(kvt::Vyr_driver& driver, Result& result)
{
    using Info = kvt::Sensor_information;
    const Info info = kvt::read_sensor_information(driver);
    for (int part = Info::Product; part < Info::None; ++part) {
        const auto which = static_cast<Info::Part>(part);
        if (!info.has(which)) {
            result.fail(exit_refused, info.error_text,
                        info.error_detail.empty() ? std::string("reading ") + Info::key(which)
                                                  : info.error_detail);
            return;
        }
        result.fields[Info::key(which)] = info.text(which);
    }
    result.fields["stable"] = info.stable;
    result.fields["min_step"] = info.min_step;
    result.fields["max_step"] = info.max_step;
    result.fields["min_distance"] = info.min_distance;
    result.fields["max_distance"] = info.max_distance;
    result.fields["scan_period_usec"] = info.scan_period_usec;
    result.fields["steps_per_scan"] = info.steps_per_scan;
}

} // namespace

void add_info_command(CLI::App& app, Common& common)
{
    CLI::App* info = app.add_subcommand(
        "info",
        "Product, firmware, serial number, status, measurement state, limits and scan period");
    info->footer("Examples:\n  vyr info --host 192.168.0.10\n  vyr info --hosts fleet.txt --json");
    info->callback(
        [&common] { common.exit_code = run_on_named_targets(common, "info", read_info); });
}
