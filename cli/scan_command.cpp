// vyr scan: measurement data streamed to standard output until the count is reached,
// the user interrupts or the reader goes away.

#include "commands.h"
#include "run.h"
#include "scan_csv.h"
#include "terminal.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <sstream>

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

// One object a scan: the steps as a first step and a stride, the values per step (a list
// of the echoes seen for the multi-echo kinds).
void append_ndjson(std::string& out, const kvt::Scan_record& scan, const kvt::Lidar& driver,
                   int stride)
{
    const int slots = scan.echo_slots();
    const bool with_intensity = kvt::has_intensity(scan.type);
    Json distance = Json::array();
    Json intensity = Json::array();
    for (size_t slot = 0; slot < scan.distance.size(); slot += slots) {
        Json step_distance = Json::array();
        Json step_intensity = Json::array();
        for (int echo = 0; echo < slots && (echo == 0 || scan.distance[slot + echo] != 0); ++echo) {
            step_distance.push_back(scan.distance[slot + echo]);
            if (with_intensity) {
                step_intensity.push_back(scan.intensity[slot + echo]);
            }
        }
        distance.push_back(slots > 1 ? step_distance : step_distance[0]);
        if (with_intensity) {
            intensity.push_back(slots > 1 ? step_intensity : step_intensity[0]);
        }
    }
    const int first_step = scan.step.empty() ? 0 : scan.step.front();
    Json object = {{"scan", scan.number},
                   {"timestamp_ms", scan.time_stamp},
                   {"first_step", first_step},
                   {"step_stride", stride},
                   {"first_angle_deg", driver.step_to_deg(first_step)},
                   {"angle_stride_deg", driver.step_to_deg(stride)},
                   {"distance", distance}};
    if (with_intensity) {
        object["intensity"] = intensity;
    }
    out += object.dump();
    out += '\n';
}

// False when standard output is gone (a closed pipe), which ends the run quietly.
bool write_out(const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
}

bool choose_range(kvt::Vyr_driver& driver, const Scan_options& options, Result& result)
{
    int first = driver.min_step();
    int last = driver.max_step();
    if (!options.range.empty()) {
        parse_pair(options.range, first, last);
    } else if (!options.angles.empty()) {
        double from = 0;
        double to = 0;
        parse_pair(options.angles, from, to);
        first = driver.deg_to_step(from);
        last = driver.deg_to_step(to);
    }
    if (!driver.set_scan_range(first, last, options.group)) {
        result.fail(exit_refused, driver.last_error_text(),
                    "this sensor's steps run from " + std::to_string(driver.min_step()) + " to " +
                        std::to_string(driver.max_step()));
        return false;
    }
    return true;
}

void stream_scans(kvt::Vyr_driver& driver, const Scan_options& options, Result& result)
{
    if (!choose_range(driver, options, result)) {
        return;
    }
    if (options.sync && !driver.sync_time_stamp(0)) {
        result.fail(exit_refused, driver.last_error_text(), "time stamps could not be aligned");
        return;
    }
    const bool counted = options.count >= 1 && options.count <= max_counted_scans;
    if (!driver.start_scans(options.kind, counted ? static_cast<int>(options.count) : 0,
                            options.skip)) {
        result.fail(exit_refused, driver.last_error_text(),
                    "the sensor did not start the measurement");
        return;
    }
    const bool csv = options.format != "ndjson";
    const int stride = std::max(options.group, 1);
    bool output_open = !csv || write_out(std::string(kvt::scan_csv_header) + "\n");
    kvt::Scan_record scan;
    std::string text;
    long number = 0;
    for (; output_open && (options.count == 0 || number < options.count); ++number) {
        if (!kvt::read_scan_record(driver, options.kind, scan)) {
            if (!stop_requested()) {
                result.fail(exit_refused, driver.last_error_text(),
                            "reading scan " + std::to_string(number));
            }
            break;
        }
        scan.number = number;
        text.clear();
        csv ? kvt::append_scan_csv_rows(scan, text) : append_ndjson(text, scan, driver, stride);
        output_open = write_out(text) && !stop_requested();
    }
    // Whatever ended the run early, the sensor must not go on sending.
    if (!counted || number < options.count) {
        driver.stop_scans();
    }
    result.fields["scans"] = number;
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
    if (!options.angles.empty() && !parse_pair(options.angles, from, to)) {
        return usage_error("--angles " + options.angles +
                           ": expected FROM:TO in degrees, FROM <= TO");
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
    catch_stop_signals();
    Result result;
    kvt::Vyr_driver driver;
    Failure failure;
    if (open_target(driver, targets[0], common.time_out_ms, failure)) {
        stream_scans(driver, options, result);
        driver.close();
    } else {
        result.fail(exit_no_connect, failure.text, failure.reason);
    }
    if (!result.error.empty()) {
        result.target = targets[0].name();
        std::fprintf(stderr, "vyr: %s: %s (%s)\n", result.target.c_str(), result.error.c_str(),
                     result.reason.c_str());
    }
    return result.exit_code;
}

} // namespace

void add_scan_command(CLI::App& app, Common& common)
{
    static Scan_options options;
    CLI::App* scan = app.add_subcommand(
        "scan", "Stream scans to standard output, as CSV or one JSON object a line");
    const std::map<std::string, Kind> kinds = {
        {"distance", kvt::Lidar::Range},
        {"intensity", kvt::Lidar::Range_intensity},
        {"multiecho", kvt::Lidar::Multi_echo},
        {"multiecho-intensity", kvt::Lidar::Multi_echo_intensity}};
    scan->add_option("--type", options.kind,
                     "distance, intensity, multiecho or multiecho-intensity")
        ->transform(CLI::CheckedTransformer(kinds))
        ->default_str("distance");
    scan->add_option("--count", options.count, "Scans to read; 0 reads until interrupted")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    scan->add_option("--range", options.range, "Steps FIRST:LAST, counted from straight ahead")
        ->type_name("FIRST:LAST");
    scan->add_option("--angles", options.angles, "Directions FROM:TO in degrees")
        ->type_name("FROM:TO");
    scan->add_option("--group", options.group, "Steps merged into one value")
        ->check(CLI::Range(0, 99));
    scan->add_option("--skip", options.skip, "Scans left out between two sent")
        ->check(CLI::Range(0, 9));
    scan->add_flag("--sync", options.sync, "Time stamps in ms from the start of the run");
    scan->add_option("--format", options.format, "csv (default) or ndjson")
        ->check(CLI::IsMember({"csv", "ndjson"}));
    scan->footer("Examples:\n  vyr scan --host 192.168.0.10 --count 10 > scans.csv\n"
                 "  vyr scan --host 192.168.0.10 --type multiecho-intensity --count 0 --format "
                 "ndjson | head -n 5");
    scan->callback([&common] { common.exit_code = run_scan(common, options); });
}
