// Recording full-range multi-echo scans with intensities from the unthrottled simulated
// sensor (loopback): scans read per second without a recording and while recording (short
// runs interleaved), resident memory after 5 s and at the end of one long recording, then
// the made file's open time and the scans read back per second.
// Usage: vyr_recording_bench [--seconds N] [--file PATH] [--keep]   (N: 60)

#include "scan_recording.h"
#include "simulator.h"
#include "vyr_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const kvt::Lidar::measurement_type kind = kvt::Lidar::Multi_echo_intensity;

double resident_mb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024;
        }
    }
    return 0;
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Sensor
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    bool open()
    {
        if (!sim.start_tcp(0)) {
            return false;
        }
        sim.set_pacing(vyr_sim::Pacing::fast);
        return driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet);
    }
};

struct Run
{
    long scans = 0;
    double seconds = 0;
    double rss_at_5s = 0;
    double rss_at_end = 0;
    double cpu_seconds = 0;   // the whole process: sensor, reader and writer
    double write_seconds = 0; // the reader's time in write(): the copy, and any wait for room
    bool ok = true;
    double rate() const { return seconds > 0 ? scans / seconds : 0; }
};

// Reads for the given time, handing each scan to the writer when there is one.
Run stream(Sensor& sensor, double seconds, kvt::Recording_writer* writer)
{
    Run run;
    kvt::Scan_record scan;
    if (!sensor.driver.start_scans(kind, 0, 0)) {
        run.ok = false;
        return run;
    }
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    bool sampled = false;
    double elapsed = 0;
    while ((elapsed = seconds_since(start)) < seconds) {
        if (!kvt::read_scan_record(sensor.driver, kind, scan)) {
            std::printf("read failed: %s\n", sensor.driver.last_error_text());
            run.ok = false;
            break;
        }
        scan.number = run.scans++;
        if (writer) {
            const Clock::time_point writing = Clock::now();
            if (!writer->write(scan)) {
                std::printf("write failed: %s\n", writer->error().c_str());
                run.ok = false;
                break;
            }
            run.write_seconds += seconds_since(writing);
        }
        if (!sampled && elapsed >= 5) {
            run.rss_at_5s = resident_mb();
            sampled = true;
        }
    }
    run.rss_at_end = resident_mb();
    run.seconds = seconds_since(start);
    run.cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    // Unthrottled, more scans are on their way than a stop passes over: a fresh link.
    sensor.driver.close();
    run.ok = sensor.driver.open("127.0.0.1", sensor.sim.tcp_port(), kvt::Lidar::Ethernet) && run.ok;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 60;
    std::string path = "/tmp/vyr_recording_bench_" + std::to_string(getpid()) + ".ndjson";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--file") && i + 1 < argc) {
            path = argv[++i];
        } else if (!std::strcmp(argv[i], "--keep")) {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--file PATH] [--keep]\n", argv[0]);
            return 2;
        }
    }
    // The unthrottled stream fills the disk at up to 250 MB/s; stop before it fills it.
    const double needed_gb = seconds * 0.25 + 1;
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    struct statvfs disk {};
    if (statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 &&
        static_cast<double>(disk.f_bavail) * disk.f_frsize < needed_gb * 1e9) {
        std::printf("recording bench skipped: %.0f GB free where it writes (%s), %.0f GB needed "
                    "for %.0f s; try --seconds or --file\n",
                    static_cast<double>(disk.f_bavail) * disk.f_frsize / 1e9,
                    folder.c_str(), needed_gb, seconds);
        return 0;
    }
    Sensor sensor;
    if (!sensor.open()) {
        std::printf("could not open the simulated sensor: %s\n", sensor.driver.last_error_text());
        return 1;
    }
    const kvt::Recording_header header = kvt::recording_header_for(
        sensor.driver, kind, sensor.driver.min_step(), sensor.driver.max_step(), 1);
    kvt::Recording_writer writer;
    if (!writer.open(path, header)) {
        std::printf("%s\n", writer.error().c_str());
        return 1;
    }
    // The rates: short runs with and without recording, five of each interleaved at random,
    // so that a busy spell of the machine hits both; medians.
    const double short_seconds = std::min(4.0, seconds / 10);
    std::vector<Run> plain_runs, recording_runs;
    std::mt19937 order(static_cast<unsigned>(getpid()));
    for (int i = 0; i < 5; ++i) {
        const bool recording_first = order() % 2 == 0;
        for (int half = 0; half < 2; ++half) {
            const bool recording = (half == 0) == recording_first;
            (recording ? recording_runs : plain_runs)
                .push_back(stream(sensor, short_seconds, recording ? &writer : nullptr));
        }
    }
    // Then one long recording for memory.
    const Run recording = stream(sensor, seconds, &writer);
    const Clock::time_point closing = Clock::now();
    const bool closed = writer.close();
    const double close_seconds = seconds_since(closing);
    bool ok = recording.ok && closed;
    for (const Run& run : plain_runs) {
        ok = ok && run.ok;
    }
    for (const Run& run : recording_runs) {
        ok = ok && run.ok;
    }
    if (!ok) {
        std::printf("failed: %s\n", writer.error().c_str());
        return 1;
    }

    // The writer alone: one scan of the stream written again and again, for its headroom.
    double alone_rate = 0;
    double alone_cpu = 0;
    {
        kvt::Scan_record scan;
        const std::string alone_path = path + ".alone";
        kvt::Recording_writer alone;
        if (!sensor.driver.start_scans(kind, 1, 0) || !kvt::read_scan_record(sensor.driver, kind, scan) ||
            !alone.open(alone_path, header)) {
            std::printf("writer alone: %s\n", alone.error().c_str());
            return 1;
        }
        const Clock::time_point start = Clock::now();
        const std::clock_t cpu_start = std::clock();
        long written = 0;
        while (seconds_since(start) < 2 && alone.write(scan)) {
            ++written;
        }
        alone.close();
        alone_rate = written / seconds_since(start);
        alone_cpu = 1e6 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC / written;
        std::remove(alone_path.c_str());
    }

    kvt::Recording_reader reader;
    const Clock::time_point opening = Clock::now();
    if (!reader.open(path)) {
        std::printf("%s\n", reader.error().c_str());
        return 1;
    }
    const double open_seconds = seconds_since(opening);
    const Clock::time_point reading = Clock::now();
    kvt::Scan_record scan;
    long read = 0;
    while (read < reader.scan_count() && seconds_since(reading) < 5) {
        if (!reader.read(read, scan)) {
            std::printf("%s\n", reader.error().c_str());
            return 1;
        }
        ++read;
    }
    const double read_rate = read / seconds_since(reading);

    const auto median = [](const std::vector<Run>& runs, auto figure) {
        std::vector<double> values;
        for (const Run& run : runs) {
            values.push_back(figure(run));
        }
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const auto rate = [](const Run& run) { return run.rate(); };
    const auto cpu_per_scan = [](const Run& run) { return 1e6 * run.cpu_seconds / run.scans; };
    const double plain = median(plain_runs, rate);
    const double recorded = median(recording_runs, rate);
    long scans_read = recording.scans;
    for (const Run& run : recording_runs) {
        scans_read += run.scans;
    }
    std::printf("\n## Recording full-range multi-echo scans with intensities (%.0f s)\n\n",
                seconds);
    std::printf("| measurement | figure |\n|---|---:|\n");
    std::printf("| scans/s read, no recording (median of 5 x %.0f s) | %.0f |\n", short_seconds,
                plain);
    std::printf("| scans/s read while recording (median of 5 x %.0f s, interleaved) | %.0f "
                "(%.1f %%) |\n",
                short_seconds, recorded, 100 * recorded / plain);
    std::printf("| scans/s read while recording (%.0f s) | %.0f |\n", seconds, recording.rate());
    std::printf("| process CPU per scan (sensor, reader, writer), no recording / recording | "
                "%.1f us / %.1f us |\n",
                median(plain_runs, cpu_per_scan), median(recording_runs, cpu_per_scan));
    std::printf("| reader's time in write() per scan (copy, waits for room), longest run | "
                "%.1f us |\n",
                1e6 * recording.write_seconds / std::max(1L, recording.scans));
    std::printf("| the writer alone: scans/s, CPU per scan (2 s) | %.0f, %.1f us |\n", alone_rate,
                alone_cpu);
    std::printf("| scans written / read | %ld / %ld, %.2f GB (%.0f bytes a scan), close %.2f s |\n",
                writer.scans_written(), scans_read, writer.bytes_written() / 1e9,
                static_cast<double>(writer.bytes_written()) / std::max(1L, writer.scans_written()),
                close_seconds);
    std::printf("| resident memory at 5 s / at %.0f s | %.2f MB / %.2f MB (%+.2f MB) |\n", seconds,
                recording.rss_at_5s, recording.rss_at_end,
                recording.rss_at_end - recording.rss_at_5s);
    std::printf("| reader: open (index of %ld scans, %.2f GB) | %.3f s |\n", reader.scan_count(),
                writer.bytes_written() / 1e9, open_seconds);
    std::printf("| reader: scans read back per second | %.0f |\n", read_rate);
    if (!keep) {
        std::remove(path.c_str());
    }
    return reader.scan_count() == writer.scans_written() ? 0 : 1;
}
