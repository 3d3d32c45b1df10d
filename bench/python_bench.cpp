// The Python module against the driver it wraps: full multi-echo scans with intensities
// read from the unthrottled simulated sensor (vyr_sim), in Python (NumPy arrays) and in C++ (the
// driver's own read into vectors), rounds interleaved in one run; and the time of
// "import vyr" in a fresh interpreter beside that of NumPy alone.
// Usage: vyr_python_bench [rounds]

#include "vyr_driver.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Rate
{
    double wall = 0; // scans per second
    double cpu = 0;  // scans per second of the reading thread's CPU time
};

double thread_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The driver itself, the first scan (the start) left out.
Rate driver_rate(int port, int scans)
{
    kvt::Vyr_driver driver;
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long stamp = 0;
    if (!driver.open("127.0.0.1", port, kvt::Lidar::Ethernet) ||
        !driver.start_scans(kvt::Lidar::Multi_echo_intensity, 0, 0) ||
        !driver.read_multiecho_intensity(distance, intensity, &stamp)) {
        std::fprintf(stderr, "driver: %s\n", driver.last_error_text());
        std::exit(1);
    }
    const auto start = Clock::now();
    const double cpu = thread_cpu_seconds();
    for (int i = 0; i < scans; ++i) {
        if (!driver.read_multiecho_intensity(distance, intensity, &stamp)) {
            std::fprintf(stderr, "driver: %s\n", driver.last_error_text());
            std::exit(1);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu_seconds = thread_cpu_seconds() - cpu;
    driver.stop_scans();
    driver.close();
    return {scans / seconds, scans / cpu_seconds};
}

// The first two numbers a Python command prints (the second may be absent); the benchmark
// ends on a failure.
Rate python_numbers(const std::string& arguments)
{
    const std::string output = "/tmp/vyr_python_bench_" + std::to_string(getpid());
    const std::string command =
        "PYTHONPATH=" VYR_PYTHON_DIR " " VYR_PYTHON " " + arguments + " > " + output;
    Rate value{-1, -1};
    const int status = std::system(command.c_str());
    if (FILE* file = std::fopen(output.c_str(), "r")) {
        if (std::fscanf(file, "%lf %lf", &value.wall, &value.cpu) < 1) {
            value.wall = -1;
        }
        std::fclose(file);
    }
    std::remove(output.c_str());
    if (status != 0 || value.wall < 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return value;
}

// vyr_sim unthrottled over full-range scans, a process of its own as a sensor is a device of
// its own: both readers then stand alike towards it. Its port, or 0.
int start_simulator(pid_t& child)
{
    const std::string output = "/tmp/vyr_python_bench_sim_" + std::to_string(getpid());
    const char* argv[] = {VYR_SIM,    "--port",  "0",         "--pacing",  "fast",
                          "--param",  "AMIN=0",  "--param",   "AMAX=1080", "--param",
                          "AFRT=540", "--param", "ARES=1440", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const bool started = posix_spawn(&child, VYR_SIM, &actions, nullptr,
                                     const_cast<char* const*>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int port = 0;
    for (int i = 0; started && port == 0 && i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (FILE* file = std::fopen(output.c_str(), "r")) {
            if (std::fscanf(file, "tcp 127.0.0.1:%d", &port) != 1) {
                port = 0;
            }
            std::fclose(file);
        }
    }
    std::remove(output.c_str());
    return port;
}

double import_ms(const char* module)
{
    return python_numbers(std::string("-c 'import time; t = time.perf_counter(); import ") +
                          module + "; print((time.perf_counter() - t) * 1000)'")
        .wall;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int scans = 3000;

    pid_t sim = 0;
    const int port = start_simulator(sim);
    if (port == 0) {
        std::fprintf(stderr, "failed: %s\n", VYR_SIM);
        return 1;
    }
    const std::string reader =
        std::string(VYR_PYTHON_SCRIPT) + " " + std::to_string(port) + " " + std::to_string(scans);
    std::vector<double> python, native, python_cpu, native_cpu, vyr_import, numpy_import;
    const auto take = [](std::vector<double>& wall, std::vector<double>& cpu, Rate rate) {
        wall.push_back(rate.wall);
        cpu.push_back(rate.cpu);
    };
    for (int round = 0; round < rounds; ++round) {
        // Alternating, so that a busy spell of the machine hits both.
        if (round % 2 == 0) {
            take(python, python_cpu, python_numbers(reader));
            take(native, native_cpu, driver_rate(port, scans));
        } else {
            take(native, native_cpu, driver_rate(port, scans));
            take(python, python_cpu, python_numbers(reader));
        }
        vyr_import.push_back(import_ms("vyr"));
        numpy_import.push_back(import_ms("numpy"));
    }
    const double py = median(python), cpp = median(native);
    const double py_cpu = median(python_cpu), cpp_cpu = median(native_cpu);
    std::printf(
        "The Python module against the simulated sensor (loopback, %d rounds)\n\n"
        "| measurement | median | floor | floor is | ratio | goal |\n"
        "|---|---:|---:|---|---:|---|\n"
        "| %d full multi-echo + intensity scans (1081 steps) read in Python as NumPy "
        "arrays | %.0f scans/s | %.0f scans/s | the C++ driver's own read | %.2f | >= 0.90 |\n"
        "| the same per second of the reading thread's CPU time | %.0f scans/s | %.0f scans/s "
        "| the same | %.2f | |\n"
        "| import vyr in a fresh python3 | %.1f ms | %.1f ms | import numpy alone | %.2f | |\n\n",
        rounds, scans, py, cpp, py / cpp, py_cpu, cpp_cpu, py_cpu / cpp_cpu, median(vyr_import),
        median(numpy_import), median(vyr_import) / median(numpy_import));
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    return 0;
}
