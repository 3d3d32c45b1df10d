// Scan throughput against the cost of receiving the same bytes, and sustained
// streaming from the simulated sensor.

#include "loopback_socket.h"
#include "scan_feed.h"
#include "scan_reader.h"
#include "simulator.h"
#include "vyr_driver.h"

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <vector>

namespace {

void count_scans(benchmark::State& state, double bytes_per_scan)
{
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes_per_scan));
    state.counters["bytes_per_scan"] = bytes_per_scan;
}

// Opens the driver on a loopback port, starts endless scans and reads one scan an iteration.
// False when the scans could not be started.
bool read_scans(benchmark::State& state, kvt::Vyr_driver& driver, int port, Scan_reader& reader)
{
    if (!driver.open("127.0.0.1", port, kvt::Lidar::Ethernet) ||
        !driver.start_scans(reader.type, 0, 0)) {
        state.SkipWithError(driver.last_error_text());
        return false;
    }
    for (auto _ : state) {
        if (!reader.read(driver)) {
            state.SkipWithError(driver.last_error_text());
            break;
        }
    }
    return true;
}

void scan_driver(benchmark::State& state)
{
    const int type = static_cast<int>(state.range(0));
    Scan_feed feed(type, false);
    kvt::Vyr_driver driver;
    Scan_reader reader{static_cast<kvt::Lidar::measurement_type>(type), {}, {}};
    if (!read_scans(state, driver, feed.port(), reader)) {
        return;
    }
    count_scans(state, feed.bytes_per_scan());
    feed.stop();
    driver.close();
}

// Receives the scan stream in chunks of at most chunk bytes and does nothing else.
void scan_floor(benchmark::State& state, size_t chunk)
{
    Scan_feed feed(static_cast<int>(state.range(0)), true);
    int fd = connect_loopback(feed.port(), Nagle::off);
    if (fd < 0) {
        state.SkipWithError("connect");
        return;
    }
    std::vector<char> buffer(chunk);
    const double per_scan = feed.bytes_per_scan();
    double owed = 0;
    for (auto _ : state) {
        owed += per_scan;
        while (owed > 0) {
            const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                state.SkipWithError("recv");
                break;
            }
            owed -= static_cast<double>(got);
        }
    }
    count_scans(state, per_scan);
    feed.stop();
    close_socket(fd);
}

void scan_floor_64k(benchmark::State& state)
{
    scan_floor(state, 64 * 1024);
}

// What a receive ring of 255 usable bytes allows at best.
void scan_floor_255(benchmark::State& state)
{
    scan_floor(state, 255);
}

void stream(benchmark::State& state)
{
    vyr_sim::Simulator sim;
    sim.set_parameter("AMIN", "0");
    sim.set_parameter("AMAX", "1080");
    sim.set_parameter("AFRT", "540");
    sim.set_parameter("ARES", "1440");
    sim.set_pacing(vyr_sim::Pacing::fast);
    kvt::Vyr_driver driver;
    Scan_reader reader{kvt::Lidar::Multi_echo_intensity, {}, {}};
    if (!sim.start_tcp(0) || !read_scans(state, driver, sim.tcp_port(), reader)) {
        return;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["steps"] = static_cast<double>(reader.distance.size() / 3);
    driver.stop_scans();
    driver.close();
}

void each_type(benchmark::internal::Benchmark* b)
{
    b->DenseRange(0, 3)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
}

} // namespace

BENCHMARK(scan_driver)->Apply(each_type);
BENCHMARK(scan_floor_64k)->Apply(each_type);
BENCHMARK(scan_floor_255)->Apply(each_type);
// The thread's CPU time is the reading side's; the simulated sensor runs on its own thread.
BENCHMARK(stream)->Unit(benchmark::kMicrosecond)->MinTime(3.0)->UseRealTime();
