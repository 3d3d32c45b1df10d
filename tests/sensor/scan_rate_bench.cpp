// Sustained multi-echo scans with intensities per second that the driver reads
// from the simulated sensor sending full-range scans as fast as it can.
// Usage: vyr_scan_rate_bench [seconds]

#include "simulator.h"
#include "vyr_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    vyr_sim::Simulator sim;
    sim.set_parameter("AMIN", "0");
    sim.set_parameter("AMAX", "1080");
    sim.set_parameter("AFRT", "540");
    sim.set_parameter("ARES", "1440");
    sim.set_pacing(vyr_sim::Pacing::fast);
    if (!sim.start_tcp(0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }

    kvt::Vyr_driver driver;
    if (!driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet) ||
        !driver.start_scans(kvt::Lidar::Multi_echo_intensity, 0, 0)) {
        std::fprintf(stderr, "sensor: %s\n", driver.last_error_text());
        return 1;
    }

    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long scans = 0;
    long failures = 0;
    size_t steps = 0;
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    double elapsed = 0;
    while (elapsed < seconds) {
        if (driver.read_multiecho_intensity(distance, intensity, nullptr)) {
            ++scans;
            steps = distance.size() / 3;
        } else {
            ++failures;
        }
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    driver.stop_scans();
    std::printf("%ld scans of %zu steps in %.2f s: %.1f scans/s, %ld failed reads\n", scans, steps,
                elapsed, scans / elapsed, failures);
    return failures == 0 ? 0 : 1;
}
