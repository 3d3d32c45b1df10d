// vyr scan: measurement data streamed to standard output until the count is reached,
// the user interrupts or the reader goes away.

#include "commands.h"
#include "measurement_kinds.h"
#include "output.h"
#include "run.h"
#include "scan_csv.h"
#include "scan_range.h"
#include "scan_recording.h"
#include "terminal.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using Kind = kvt::Lidar::measurement_type;

struct Scan_options
{
    Kind kind = kvt::Lidar::Range;
    long count = 1;
    std::string range;  // "FIRST:LAST" in steps
    std::string angles; // "FROM:TO" in degrees
    int group = 0;
    int skip = 0;
    bool sync = false;
    std::string format; // csv or ndjson; empty: csv, or ndjson with --json
    std::string record; // a recording of the scans besides the output
};

// The sensor counts at most this many scans per request; more are read from an endless one.
const long max_counted_scans = 99;

template <typename T> bool parse_pair(const std::string& text, T& first, T& second)
{
    std::istringstream in(text);
    char colon = 0;
    return (in >> first >> colon >> second) && colon == ':' && (in >> std::ws).eof() &&
           first <= second;
}

// How long a stop may take after Ctrl-C before vyr gives up on the sensor's answer; the
// abort then ends the wait within about 100 ms, inside the 2 s the user is promised.
const auto stop_after_signal = std::chrono::milliseconds(1700);

// The widest directions a request may name; beyond them no sensor measures, and the
// conversion to steps would leave the range of int.
const double max_abs_degrees = 360;

// The steps to request; false (with the result failed as a usage error) when they lie
// beyond what this sensor measures, which is known only once it is open.
bool choose_range(kvt::Vyr_driver& driver, const Scan_options& options, Result& result,
                  int& chosen_first, int& chosen_last)
{
    kvt::Step_span span = kvt::measurable_steps(driver);
    std::string option;
    if (!options.range.empty()) {
        int first_step = 0;
        int last_step = 0;
        parse_pair(options.range, first_step, last_step);
        span = {static_cast<double>(first_step), static_cast<double>(last_step)};
        option = "--range " + options.range;
    } else if (!options.angles.empty()) {
        double from = 0;
        double to = 0;
        parse_pair(options.angles, from, to);
        span = kvt::steps_of_angles(driver, from, to);
        option = "--angles " + options.angles;
    }
    const std::string beyond = kvt::beyond_measurable(driver, span);
    if (!beyond.empty()) {
        result.fail(exit_usage, option + " is beyond the measurable range", beyond);
        return false;
    }
    chosen_first = static_cast<int>(span.first);
    chosen_last = static_cast<int>(span.last);
    if (!driver.set_scan_range(chosen_first, chosen_last, options.group)) {
        result.fail(exit_refused, driver.last_error_text(),
                    "this sensor's steps run from " + std::to_string(driver.min_step()) + " to " +
                        std::to_string(driver.max_step()));
        return false;
    }
    return true;
}

// Ends the measurement on the sensor. After a stop signal the stop gets what is left of
// the user's 2 s; an abort then cuts it short. True when the sensor confirmed it.
bool stop_sensor(kvt::Vyr_driver& driver, bool signalled)
{
    driver.clear_abort();
    std::mutex mutex;
    std::condition_variable stopped;
    bool done = false;
    std::thread watchdog;
    if (signalled) {
        const auto deadline = std::chrono::steady_clock::now() + stop_after_signal;
        watchdog = std::thread([&, deadline] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!stopped.wait_until(lock, deadline, [&] { return done; })) {
                driver.request_abort();
            }
        });
    }
    driver.stop_scans();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    stopped.notify_all();
    if (watchdog.joinable()) {
        watchdog.join();
    }
    return driver.last_error() == kvt::Error::none;
}

// Reads and writes scans until the count is reached, a read fails, a signal comes or
// standard output fails. The count of scans written goes to the result.
void read_scans(kvt::Vyr_driver& driver, const Scan_options& options, Result& result,
                kvt::Recording_writer& recording)
{
    const bool csv = options.format != "ndjson";
    const int stride = std::max(options.group, 1);
    if (csv && !write_out(std::string(kvt::scan_csv_header) + "\n")) {
        return;
    }
    kvt::Scan_record scan;
    std::string text;
    long number = 0;
    const kvt::Recording_header header =
        kvt::measurement_header(driver, options.kind, 0, 0, stride);
    for (; (options.count == 0 || number < options.count) && stop_signal() == 0; ++number) {
        if (!kvt::read_scan_record(driver, options.kind, scan, stride)) {
            if (stop_signal() == 0) {
                result.fail(exit_refused, driver.last_error_text(),
                            driver_reason(driver, "reading scan " + std::to_string(number)));
            }
            break;
        }
        // Nothing to write, and nothing that should pass for a scan.
        if (scan.size() == 0) {
            result.fail(exit_refused, "the sensor sent a scan without steps",
                        "scan " + std::to_string(number));
            break;
        }
        scan.number = number;
        if (recording.is_open() && !recording.write(scan)) {
            result.fail(exit_refused, "could not write the recording", recording.error());
            break;
        }
        text.clear();
        csv ? kvt::append_scan_csv_rows(scan, text) : kvt::append_scan_ndjson(text, scan, header);
        // Per scan, so that an endless run notices a full disk or a closed pipe at once.
        if (!write_out(text) || !flush_out()) {
            break;
        }
    }
    result.fields["scans"] = number;
}

// A failure before the first scan; one caused by a stop signal is no fault of the sensor.
void fail_setup(Result& result, const std::string& text, const std::string& why)
{
    if (stop_signal() != 0) {
        result.fail(interrupted_exit_code(), "interrupted", "before the first scan");
    } else {
        result.fail(exit_refused, text, why);
    }
}

void stream_scans(kvt::Vyr_driver& driver, const Scan_options& options, Result& result,
                  kvt::Recording_writer& recording)
{
    int first = 0;
    int last = 0;
    if (!choose_range(driver, options, result, first, last)) {
        return;
    }
    // Opened before the measurement starts: the header asks the sensor who it is, and a
    // file that cannot be written is found before anything is measured.
    if (!options.record.empty() &&
        !recording.open(options.record, kvt::recording_header_for(driver, options.kind, first,
                                                                  last, options.group))) {
        result.fail(exit_refused, "could not write the recording", recording.error());
        return;
    }
    if (options.sync && !driver.sync_time_stamp(0)) {
        fail_setup(result, driver.last_error_text(),
                   driver_reason(driver, "time stamps could not be aligned"));
        return;
    }
    const bool counted = options.count >= 1 && options.count <= max_counted_scans;
    if (!driver.start_scans(options.kind, counted ? static_cast<int>(options.count) : 0,
                            options.skip)) {
        fail_setup(result, driver.last_error_text(),
                   driver_reason(driver, "the sensor did not start the measurement"));
        // Interrupted, the request may have reached the sensor all the same.
        if (stop_signal() != 0) {
            stop_sensor(driver, true);
        }
        return;
    }
    try {
        read_scans(driver, options, result, recording);
    } catch (const std::exception& error) {
        result.fail(exit_refused, "internal error", error.what());
    }
    // Whatever ended the run early, the sensor must not go on sending.
    const long read = result.fields.value("scans", 0L);
    if (counted && read == options.count) {
        return;
    }
    const bool signalled = stop_signal() != 0;
    if (!stop_sensor(driver, signalled)) {
        Result stop;
        stop.target = result.target;
        std::string why = driver_reason(driver, driver.last_error_text());
        if (why.find("may still be measuring") == std::string::npos) {
            why += "; it may still be measuring";
        }
        stop.fail(exit_refused, "the sensor did not confirm the stop", why);
        print_error(stop);
        result.exit_code = std::max(result.exit_code, static_cast<int>(exit_refused));
    }
}

int run_scan(Common& common, Scan_options options)
{
    if (!options.range.empty() && !options.angles.empty()) {
        return usage_error("--range and --angles name the same thing; give one of them");
    }
    int first_step = 0;
    int last_step = 0;
    double from = 0;
    double to = 0;
    if (!options.range.empty() && !parse_pair(options.range, first_step, last_step)) {
        return usage_error("--range " + options.range +
                           ": expected FIRST:LAST, whole steps, FIRST <= LAST");
    }
    if (!options.angles.empty() &&
        (!parse_pair(options.angles, from, to) || from < -max_abs_degrees || to > max_abs_degrees)) {
        return usage_error("--angles " + options.angles +
                           ": expected FROM:TO in degrees from -360 to 360, FROM <= TO");
    }
    if (options.format.empty()) {
        options.format = common.json ? "ndjson" : "csv";
    }
    std::vector<Target> targets;
    if (!collect_targets(common, targets)) {
        return exit_usage;
    }
    if (targets.size() > 1) {
        return usage_error("scan reads one sensor; name exactly one target");
    }
    ignore_broken_pipe();
    catch_stop_signals();
    // Lives as long as the process: the signal handler may reach it at any moment, and on
    // Windows from a thread of its own.
    static kvt::Vyr_driver driver;
    abort_on_stop(&driver);
    Result result;
    result.target = targets[0].name();
    Failure failure;
    if (open_target(driver, targets[0], common.time_out_ms, failure)) {
        kvt::Recording_writer recording;
        stream_scans(driver, options, result, recording);
        if (recording.is_open() && !recording.close() && result.error.empty()) {
            result.fail(exit_refused, "could not write the recording", recording.error());
        }
        const std::string lost = result.error.empty() ? "" : lost_link_reason(driver);
        if (!lost.empty()) {
            result.reason = lost;
        }
        driver.close();
    } else if (stop_signal() != 0) {
        result.fail(interrupted_exit_code(), "interrupted", "before the sensor answered");
    } else {
        result.fail(exit_no_connect, failure.text, failure.reason);
    }
    if (!result.error.empty()) {
        print_error(result);
    }
    return result.exit_code;
}

} // namespace

void add_scan_command(CLI::App& app, Common& common)
{
    static Scan_options options;
    CLI::App* scan = app.add_subcommand(
        "scan", "Stream scans to standard output, as CSV or one JSON object a line");
    std::map<std::string, Kind> kinds;
    std::string kind_names; // "distance, intensity, multiecho or multiecho-intensity"
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        kinds[kind.cli_name] = kind.type;
        if (!kind_names.empty()) {
            kind_names += &kind == std::end(kvt::measurement_kinds) - 1 ? " or " : ", ";
        }
        kind_names += kind.cli_name;
    }
    scan->add_option("--type", options.kind, kind_names)
        ->transform(CLI::CheckedTransformer(kinds))
        ->default_str(kvt::measurement_kind(kvt::Lidar::Range)->cli_name);
    scan->add_option("--count", options.count, "Scans to read; 0 reads until interrupted")
        ->capture_default_str()
        ->transform(whole_number(0, 2147483647));
    scan->add_option("--range", options.range, "Steps FIRST:LAST, counted from straight ahead")
        ->type_name("FIRST:LAST");
    scan->add_option("--angles", options.angles, "Directions FROM:TO in degrees")
        ->type_name("FROM:TO");
    scan->add_option("--group", options.group, "Steps merged into one value")
        ->transform(whole_number(0, 99));
    scan->add_option("--skip", options.skip, "Scans left out between two sent")
        ->transform(whole_number(0, 9));
    scan->add_flag("--sync", options.sync, "Time stamps in ms from the start of the run");
    scan->add_option("--format", options.format, "csv (default) or ndjson")
        ->check(CLI::IsMember({"csv", "ndjson"}));
    scan->add_option("--record", options.record,
                     "Also write the scans to FILE as a recording (vyr_sim --replay plays it)")
        ->type_name("FILE");
    scan->footer("Examples:\n  vyr scan --host 192.168.0.10 --count 10 > scans.csv\n"
                 "  vyr scan --host 192.168.0.10 --count 0 --record run.ndjson > /dev/null\n"
                 "  vyr scan --host 192.168.0.10 --type multiecho-intensity --count 0 --format "
                 "ndjson | head -n 5");
    scan->callback([&common] { common.exit_code = run_scan(common, options); });
}
