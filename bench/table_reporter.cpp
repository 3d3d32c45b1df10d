#include "table_reporter.h"

#include <cstdio>

namespace {

const char* const type_names[] = {"distance", "distance + intensity", "multi-echo",
                                  "multi-echo + intensity"};

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

} // namespace

bool Table_reporter::ReportContext(const Context&)
{
    return true;
}

void Table_reporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.error_occurred) {
            std::fprintf(stderr, "%s failed: %s\n", run.benchmark_name().c_str(),
                         run.error_message.c_str());
            continue;
        }
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median) {
            continue;
        }
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) {
            name += "/" + run.run_name.args;
        }
        Result& result = results_[name];
        // A single repetition has no median; any later median replaces it.
        if (result.from_median && !median) {
            continue;
        }
        result.from_median = median;
        const double to_us = 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        result.real_us = run.GetAdjustedRealTime() * to_us;
        result.cpu_us = run.GetAdjustedCPUTime() * to_us;
        for (const auto& counter : run.counters) {
            result.counters[counter.first] = counter.second.value;
        }
    }
}

const Table_reporter::Result* Table_reporter::find(const std::string& name) const
{
    const auto it = results_.find(name);
    return it == results_.end() ? nullptr : &it->second;
}

// Ratios of the reading thread's CPU time: a busy machine stretches wall time far
// more than the work a reader does per scan.
void Table_reporter::print_scans() const
{
    std::printf("Scan throughput: a loopback socket kept full by a sender thread; per scan, "
                "medians; ratios of the reading thread's CPU time\n\n"
                "| measurement | bytes/scan | driver scans/s | driver MB/s | driver CPU "
                "| recv 64 KiB CPU | driver / recv 64 KiB | recv 255 B CPU "
                "| driver / recv 255 B |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int type = 0; type < 4; ++type) {
        const std::string arg = "/" + std::to_string(type);
        const Result* driver = find("scan_driver" + arg);
        const Result* wide = find("scan_floor_64k" + arg);
        const Result* narrow = find("scan_floor_255" + arg);
        if (!driver || !wide || !narrow) {
            continue;
        }
        const double bytes = driver->counters.at("bytes_per_scan");
        std::printf("| %s | %.0f | %.0f | %.1f | %.1f us | %.1f us | %.1f | %.1f us | %.2f |\n",
                    type_names[type], bytes, 1e6 / driver->real_us, bytes / driver->real_us,
                    driver->cpu_us, wide->cpu_us, ratio(driver->cpu_us, wide->cpu_us),
                    narrow->cpu_us, ratio(driver->cpu_us, narrow->cpu_us));
    }
    std::printf("\n");
}

void Table_reporter::print_stream() const
{
    const Result* stream = find("stream");
    if (!stream) {
        return;
    }
    std::printf("Streaming multi-echo + intensity, full range (%.0f steps), simulator back to "
                "back\n\n"
                "| scans/s | reader CPU per scan | reader CPU share of one core |\n"
                "|---:|---:|---:|\n"
                "| %.0f | %.0f us | %.0f %% |\n\n",
                stream->counters.at("steps"), 1e6 / stream->real_us, stream->cpu_us,
                100 * ratio(stream->cpu_us, stream->real_us));
}

void Table_reporter::print_round_trips() const
{
    std::printf("Round trips over loopback (median of repetitions of each percentile)\n\n"
                "| exchange | median | p99 | ping-pong median | ping-pong p99 "
                "| median / ping-pong |\n"
                "|---|---:|---:|---:|---:|---:|\n");
    const char* const rows[][3] = {{"heater \"%AH1\"", "heater_driver", "heater_floor"},
                                   {"open", "open_driver", "open_floor"}};
    for (const auto& row : rows) {
        const Result* driver = find(row[1]);
        const Result* floor = find(row[2]);
        if (!driver || !floor) {
            continue;
        }
        const double d50 = driver->counters.at("p50_us");
        const double f50 = floor->counters.at("p50_us");
        std::printf("| %s | %.0f us | %.0f us | %.0f us | %.0f us | %.2f |\n", row[0], d50,
                    driver->counters.at("p99_us"), f50, floor->counters.at("p99_us"),
                    ratio(d50, f50));
    }
    std::printf("\n");
}

void Table_reporter::Finalize()
{
    print_scans();
    print_stream();
    print_round_trips();
    std::fflush(stdout);
}
