#ifndef VYR_CLI_RUN_H
#define VYR_CLI_RUN_H

// What every subcommand shares: the target options, the output choice, and running one
// operation on every target.

#include "result.h"
#include "targets.h"

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
class Validator;
}
namespace kvt {
class Vyr_driver;
}

struct Common
{
    std::vector<std::string> hosts;
    std::string hosts_file;
    std::vector<std::string> serials;
    long baud = default_baud;
    int time_out_ms = 0;
    bool json = false;
    int jobs = 16;
    int exit_code = exit_ok; // set by the subcommand that ran
};

// A whole number from low to high, written in decimal (leading zeros are no octal); a
// failure says what was expected in plain words.
CLI::Validator whole_number(long low, long high);

// The options of Common on app, shared by its subcommands.
void add_common_options(CLI::App& app, Common& common);

// The targets the options name; false (a usage error, already printed) when none or one
// is malformed.
bool collect_targets(const Common& common, std::vector<Target>& targets);

// Why the driver's last operation failed: its own detail where it has one, else fallback.
std::string driver_reason(kvt::Vyr_driver& driver, const std::string& fallback);

// A usage error: the message on standard error, exit code 2.
int usage_error(const std::string& message);

// Opens each target, runs operation on it and prints the results. A stop signal prints
// what was gathered, marks the rest, and ends the process with 130 or 143.
using Operation = std::function<void(kvt::Vyr_driver& driver, Result& result)>;
int run_on_targets(const Common& common, const std::string& command,
                   const std::vector<Target>& targets, const Operation& operation);
// The same over the targets the options name, or a usage error when they name none.
int run_on_named_targets(const Common& common, const std::string& command,
                         const Operation& operation);

#endif
