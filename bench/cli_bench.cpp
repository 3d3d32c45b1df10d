// vyr end to end, each figure beside its floor from the same run: process start to exit
// of "vyr info", the same over 50 simulated sensors, and "vyr scan" of full multi-echo
// scans with intensities as CSV into /dev/null against the driver's own read rate.
// Usage: vyr_cli_bench <vyr program> [runs]

#include "simulator.h"
#include "vyr_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs program with arguments, output to /dev/null; the wall time in ms, or -1 on failure.
double run_ms(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t child = 0;
    int status = -1;
    const bool started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return ms_since(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median of runs, with a failed run ending the benchmark.
double median_ms(const std::vector<std::string>& arguments, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = run_ms(arguments);
        if (ms < 0) {
            std::fprintf(stderr, "failed: %s %s\n", arguments[0].c_str(), arguments[1].c_str());
            std::exit(1);
        }
        times.push_back(ms);
    }
    return median(times);
}

void full_range(vyr_sim::Simulator& sim)
{
    sim.set_parameter("AMIN", "0");
    sim.set_parameter("AMAX", "1080");
    sim.set_parameter("AFRT", "540");
    sim.set_parameter("ARES", "1440");
    sim.set_pacing(vyr_sim::Pacing::fast);
}

std::string host(const vyr_sim::Simulator& sim)
{
    return "127.0.0.1:" + std::to_string(sim.tcp_port());
}

// The driver in this process: open and the same queries as "vyr info".
double driver_info_ms(const vyr_sim::Simulator& sim, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        kvt::Vyr_driver driver;
        if (!driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)) {
            std::exit(1);
        }
        driver.product();
        driver.firmware_version();
        driver.serial_number();
        driver.sensor_status();
        driver.measurement_state();
        driver.close();
        times.push_back(ms_since(start));
    }
    return median(times);
}

// Scans per second that the driver itself reads from the simulator.
double driver_scan_rate(const vyr_sim::Simulator& sim, int scans)
{
    kvt::Vyr_driver driver;
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long stamp = 0;
    if (!driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet) ||
        !driver.start_scans(kvt::Lidar::Multi_echo_intensity, 0, 0)) {
        std::exit(1);
    }
    const auto start = Clock::now();
    for (int i = 0; i < scans; ++i) {
        if (!driver.read_multiecho_intensity(distance, intensity, &stamp)) {
            std::exit(1);
        }
    }
    const double seconds = ms_since(start) / 1000.0;
    driver.stop_scans();
    driver.close();
    return scans / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <vyr program> [runs]\n", argv[0]);
        return 2;
    }
    const std::string vyr = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

    vyr_sim::Simulator one;
    full_range(one);
    if (!one.start_tcp(0)) {
        return 1;
    }
    const double info = median_ms({vyr, "info", "--host", host(one)}, runs);
    const double bare = median_ms({vyr, "--version"}, runs);
    const double in_process = driver_info_ms(one, runs);

    std::vector<std::unique_ptr<vyr_sim::Simulator>> fleet;
    const std::string fleet_file = "/tmp/vyr_cli_bench_fleet_" + std::to_string(getpid());
    {
        std::ofstream file(fleet_file);
        for (int i = 0; i < 50; ++i) {
            fleet.push_back(std::make_unique<vyr_sim::Simulator>());
            if (!fleet.back()->start_tcp(0)) {
                return 1;
            }
            file << host(*fleet.back()) << "\n";
        }
    }
    const int fleet_runs = std::max(3, runs / 3);
    const double fifty = median_ms({vyr, "info", "--hosts", fleet_file}, fleet_runs);
    const double single = median_ms({vyr, "info", "--host", host(*fleet[0])}, fleet_runs);
    std::remove(fleet_file.c_str());

    const int scans = 1000;
    const double scan_ms = median_ms({vyr, "scan", "--host", host(one), "--type", "multiecho-intensity",
                                      "--count", std::to_string(scans), "--format", "csv"},
                                     3);
    const double vyr_rate = scans / (scan_ms / 1000.0);
    const double driver_rate = driver_scan_rate(one, scans);

    std::printf("vyr end to end against the simulated sensor (loopback)\n\n"
                "| measurement | median | floor | floor is | ratio | goal |\n"
                "|---|---:|---:|---|---:|---|\n"
                "| vyr info, process start to exit (%d runs) | %.1f ms | %.1f ms | vyr --version, start to exit | %.2f | |\n"
                "| | | %.1f ms | driver open + the same queries in one process | %.2f | |\n"
                "| vyr info over 50 simulators (%d runs) | %.1f ms | %.1f ms | vyr info over one | %.2fx | <= 3x |\n"
                "| vyr scan, %d full multi-echo + intensity scans as CSV into /dev/null | %.0f scans/s | %.0f scans/s | the driver's own read rate | %.2f | >= 0.5 |\n\n",
                runs, info, bare, info / bare, in_process, info / in_process, fleet_runs, fifty, single,
                fifty / single, scans, vyr_rate, driver_rate, vyr_rate / driver_rate);
    return 0;
}
