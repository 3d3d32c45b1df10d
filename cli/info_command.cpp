#include "commands.h"
#include "run.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <cstring>

namespace {

// The driver answers a failed query with this text in place of the value.
const char query_failed[] = "receive error.";

void read_info(kvt::Vyr_driver& driver, Result& result)
{
    const std::pair<const char*, const char* (kvt::Vyr_driver::*)()> texts[] = {
        {"product", &kvt::Vyr_driver::product},
        {"firmware_version", &kvt::Vyr_driver::firmware_version},
        {"serial_number", &kvt::Vyr_driver::serial_number},
        {"sensor_status", &kvt::Vyr_driver::sensor_status},
        {"measurement_state", &kvt::Vyr_driver::measurement_state},
    };
    for (const auto& [key, query] : texts) {
        const std::string value = (driver.*query)();
        if (value == query_failed) {
            result.fail(exit_refused, value, driver_reason(driver, std::string("reading ") + key));
            return;
        }
        result.fields[key] = value;
    }
    // Stable is read from the status just fetched; asking again costs a round trip.
    result.fields["stable"] =
        result.fields["sensor_status"].get<std::string>().rfind("Stable", 0) == 0;
    result.fields["min_step"] = driver.min_step();
    result.fields["max_step"] = driver.max_step();
    result.fields["min_distance"] = driver.min_distance();
    result.fields["max_distance"] = driver.max_distance();
    result.fields["scan_period_usec"] = driver.scan_period_usec();
    result.fields["steps_per_scan"] = kvt::steps_per_scan(driver);
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
