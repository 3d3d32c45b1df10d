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
    return (in >> first >> colon >> second) && colon == ':' && (in >> std::ws).eof() && first <= second;
}

bool has_intensity(Kind kind)
{
    return kind == kvt::Lidar::Range_intensity || kind == kvt::Lidar::Multi_echo_intensity;
}

bool is_multi_echo(Kind kind)
{
    return kind == kvt::Lidar::Multi_echo || kind == kvt::Lidar::Multi_echo_intensity;
}

struct Scan
{
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long time_stamp = 0;

    bool read(kvt::Lidar& driver, Kind kind)
    {
        switch (kind) {
        case kvt::Lidar::Range:
            return driver.read_distance(distance, &time_stamp);
        case kvt::Lidar::Range_intensity:
            return driver.read_distance_intensity(distance, intensity, &time_stamp);
        case kvt::Lidar::Multi_echo:
            return driver.read_multiecho(distance, &time_stamp);
        case kvt::Lidar::Multi_echo_intensity:
            return driver.read_multiecho_intensity(distance, intensity, &time_stamp);
        }
        return false;
    }
};

// Where the steps of each scan lie, for the columns and objects written.
struct Layout
{
    Kind kind;
    int first_step;
    int stride;
    const kvt::Lidar* driver;

    int echoes() const { return is_multi_echo(kind) ? driver->max_echo_count() : 1; }
    int step(int index) const { return first_step + index * stride; }
};

void append_csv(std::string& out, long number, const Scan& scan, const Layout& layout)
{
    const int echoes = layout.echoes();
    const bool intensity = has_intensity(layout.kind);
    const int steps = static_cast<int>(scan.distance.size()) / echoes;
    for (int index = 0; index < steps; ++index) {
        Scan_csv_row row{number, scan.time_stamp, index, layout.step(index),
                         layout.driver->step_to_deg(layout.step(index)), 0, 0, -1};
        for (int echo = 0; echo < echoes; ++echo) {
            const size_t slot = static_cast<size_t>(index) * echoes + echo;
            // A slot of 0 after the first echo is an echo the sensor did not see.
            if (echo > 0 && scan.distance[slot] == 0) {
                break;
            }
            row.echo = echo;
            row.distance = scan.distance[slot];
            row.intensity = intensity ? scan.intensity[slot] : -1;
            append_scan_csv_row(out, row);
        }
    }
}

void append_ndjson(std::string& out, long number, const Scan& scan, const Layout& layout)
{
    const int echoes = layout.echoes();
    const bool with_intensity = has_intensity(layout.kind);
    Json distance = Json::array();
    Json intensity = Json::array();
    for (size_t slot = 0; slot < scan.distance.size(); slot += echoes) {
        Json step_distance = Json::array();
        Json step_intensity = Json::array();
        for (int echo = 0; echo < echoes && (echo == 0 || scan.distance[slot + echo] != 0); ++echo) {
            step_distance.push_back(scan.distance[slot + echo]);
            if (with_intensity) {
                step_intensity.push_back(scan.intensity[slot + echo]);
            }
        }
        distance.push_back(echoes > 1 ? step_distance : step_distance[0]);
        if (with_intensity) {
            intensity.push_back(echoes > 1 ? step_intensity : step_intensity[0]);
        }
    }
    Json object = {{"scan", number},
                   {"timestamp_ms", scan.time_stamp},
                   {"first_step", layout.first_step},
                   {"step_stride", layout.stride},
                   {"first_angle_deg", layout.driver->step_to_deg(layout.first_step)},
                   {"angle_stride_deg", layout.driver->step_to_deg(layout.stride)},
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
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

bool choose_range(kvt::Vyr_driver& driver, const Scan_options& options, Result& result, int& first)
{
    int last = driver.max_step();
    first = driver.min_step();
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
    int first = 0;
    if (!choose_range(driver, options, result, first)) {
        return;
    }
    if (options.sync && !driver.sync_time_stamp(0)) {
        result.fail(exit_refused, driver.last_error_text(), "time stamps could not be aligned");
        return;
    }
    const bool counted = options.count >= 1 && options.count <= max_counted_scans;
    if (!driver.start_scans(options.kind, counted ? static_cast<int>(options.count) : 0, options.skip)) {
        result.fail(exit_refused, driver.last_error_text(), "the sensor did not start the measurement");
        return;
    }
    const bool csv = options.format != "ndjson";
    const Layout layout{options.kind, first, std::max(options.group, 1), &driver};
    bool output_open = !csv || write_out(scan_csv_header);
    Scan scan;
    std::string text;
    long number = 0;
    for (; output_open && (options.count == 0 || number < options.count); ++number) {
        if (!scan.read(driver, options.kind)) {
            if (!stop_requested()) {
                result.fail(exit_refused, driver.last_error_text(), "reading scan " + std::to_string(number));
            }
            break;
        }
        text.clear();
        csv ? append_csv(text, number, scan, layout) : append_ndjson(text, number, scan, layout);
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
        return usage_error("--range " + options.range + ": expected FIRST:LAST, whole steps, FIRST <= LAST");
    }
    if (!options.angles.empty() && !parse_pair(options.angles, from, to)) {
        return usage_error("--angles " + options.angles + ": expected FROM:TO in degrees, FROM <= TO");
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
        std::fprintf(stderr, "vyr: %s: %s (%s)\n", result.target.c_str(), result.error.c_str(), result.reason.c_str());
    }
    return result.exit_code;
}

} // namespace

void add_scan_command(CLI::App& app, Common& common)
{
    static Scan_options options;
    CLI::App* scan = app.add_subcommand("scan", "Stream scans to standard output, as CSV or one JSON object a line");
    const std::map<std::string, Kind> kinds = {{"distance", kvt::Lidar::Range},
                                               {"intensity", kvt::Lidar::Range_intensity},
                                               {"multiecho", kvt::Lidar::Multi_echo},
                                               {"multiecho-intensity", kvt::Lidar::Multi_echo_intensity}};
    scan->add_option("--type", options.kind, "distance, intensity, multiecho or multiecho-intensity")
        ->transform(CLI::CheckedTransformer(kinds))->default_str("distance");
    scan->add_option("--count", options.count, "Scans to read; 0 reads until interrupted")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    scan->add_option("--range", options.range, "Steps FIRST:LAST, counted from straight ahead")->type_name("FIRST:LAST");
    scan->add_option("--angles", options.angles, "Directions FROM:TO in degrees")->type_name("FROM:TO");
    scan->add_option("--group", options.group, "Steps merged into one value")->check(CLI::Range(0, 99));
    scan->add_option("--skip", options.skip, "Scans left out between two sent")->check(CLI::Range(0, 9));
    scan->add_flag("--sync", options.sync, "Time stamps in ms from the start of the run");
    scan->add_option("--format", options.format, "csv (default) or ndjson")->check(CLI::IsMember({"csv", "ndjson"}));
    scan->footer("Examples:\n  vyr scan --host 192.168.0.10 --count 10 > scans.csv\n"
                 "  vyr scan --host 192.168.0.10 --type multiecho-intensity --count 0 --format ndjson | head -n 5");
    scan->callback([&common] { common.exit_code = run_scan(common, options); });
}
