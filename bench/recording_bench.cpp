// Recording full-range multi-echo scans with intensities from the unthrottled simulated
// sensor (loopback): scans read per second without a recording and while recording,
// resident memory after 5 s and at the end of the recording, then the made file's open
// time and the scans read back per second.
// Usage: vyr_recording_bench [--seconds N] [--file PATH] [--keep]   (N: 60)

#include "scan_recording.h"
#include "simulator.h"
#include "vyr_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

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
    bool sampled = false;
    double elapsed = 0;
    while ((elapsed = seconds_since(start)) < seconds) {
        if (!kvt::read_scan_record(sensor.driver, kind, scan)) {
            std::printf("read failed: %s\n", sensor.driver.last_error_text());
            run.ok = false;
            break;
        }
        scan.number = run.scans++;
        if (writer && !writer->write(scan)) {
            std::printf("write failed: %s\n", writer->error().c_str());
            run.ok = false;
            break;
        }
        if (!sampled && elapsed >= 5) {
            run.rss_at_5s = resident_mb();
            sampled = true;
        }
    }
    run.rss_at_end = resident_mb();
    run.seconds = seconds_since(start);
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
    Sensor sensor;
    if (!sensor.open()) {
        std::printf("could not open the simulated sensor: %s\n", sensor.driver.last_error_text());
        return 1;
    }
    const kvt::Recording_header header = kvt::recording_header_for(
        sensor.driver, kind, sensor.driver.min_step(), sensor.driver.max_step(), 1);
    // Plain reading before and after, so that a busy spell of the machine shows.
    const double plain_seconds = 5;
    const Run before = stream(sensor, plain_seconds, nullptr);
    kvt::Recording_writer writer;
    if (!writer.open(path, header)) {
        std::printf("%s\n", writer.error().c_str());
        return 1;
    }
    const Run recording = stream(sensor, seconds, &writer);
    const Clock::time_point closing = Clock::now();
    const bool closed = writer.close();
    const double close_seconds = seconds_since(closing);
    const Run after = stream(sensor, plain_seconds, nullptr);
    if (!before.ok || !recording.ok || !after.ok || !closed) {
        std::printf("failed: %s\n", writer.error().c_str());
        return 1;
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

    const double plain = (before.rate() + after.rate()) / 2;
    std::printf("\n## Recording full-range multi-echo scans with intensities (%.0f s)\n\n",
                seconds);
    std::printf("| measurement | figure |\n|---|---:|\n");
    std::printf("| scans/s read, no recording (before / after) | %.0f / %.0f |\n", before.rate(),
                after.rate());
    std::printf("| scans/s read while recording | %.0f (%.1f %% of %.0f) |\n", recording.rate(),
                100 * recording.rate() / plain, plain);
    std::printf("| scans written / read | %ld / %ld, %.2f GB, %.0f MB/s, close %.2f s |\n",
                writer.scans_written(), recording.scans, writer.bytes_written() / 1e9,
                writer.bytes_written() / 1e6 / (recording.seconds + close_seconds),
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
