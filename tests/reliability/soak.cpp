// Soak run against the simulated sensor: many connect and disconnect cycles and
// many command exchanges, with open descriptors and resident memory compared
// before and after. Not a ctest test: scripts/soak runs it.
//
// usage: vyr_soak [cycles] [exchanges]    (defaults 100 and 10000)

#include "command_link.h"
#include "fault_cell.h"
#include "loopback_socket.h"
#include "simulator.h"
#include "vyr_driver.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// Growth beyond this is a leak, not allocator noise.
const long max_growth_kib = 512;

long resident_kib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// The sensor runs in a child process, so that its own descriptors and memory
// (it records every command) stay out of the counts. Returns its port, or 0.
int start_sensor(pid_t& child, int& stop_fd)
{
    int port_pipe[2];
    int stop_pipe[2];
    if (pipe(port_pipe) != 0 || pipe(stop_pipe) != 0) {
        return 0;
    }
    child = fork();
    if (child == 0) {
        close(port_pipe[0]);
        close(stop_pipe[1]);
        vyr_sim::Simulator sim;
        int port = sim.start_tcp(0) ? sim.tcp_port() : 0;
        if (write(port_pipe[1], &port, sizeof port) != sizeof port) {
            _exit(1);
        }
        char byte;
        while (read(stop_pipe[0], &byte, 1) > 0) {
        }
        sim.stop();
        _exit(0);
    }
    close(port_pipe[1]);
    close(stop_pipe[0]);
    int port = 0;
    if (child < 0 || read(port_pipe[0], &port, sizeof port) != sizeof port) {
        port = 0;
    }
    close(port_pipe[0]);
    stop_fd = stop_pipe[1];
    return port;
}

void stop_sensor(pid_t child, int stop_fd)
{
    close(stop_fd);
    waitpid(child, nullptr, 0);
}

bool connect(kvt::Vyr_driver& driver, int port)
{
    return driver.open("127.0.0.1", port, kvt::Lidar::Ethernet);
}

// A maintenance command through a command link, or an engine query, in turn.
bool exchange(kvt::Vyr_driver& driver, Command_link& link, int i)
{
    if (i % 2 == 0) {
        QString response;
        link.send_command(i % 4 == 0 ? "%AH1\n" : "%AH0\n");
        return link.receive_response(response, "00P", 2000);
    }
    return std::strncmp(driver.sensor_status(), "Stable", 6) == 0;
}

bool run(kvt::Vyr_driver& driver, Command_link& link, int port, int cycles, int exchanges)
{
    for (int i = 0; i < cycles; ++i) {
        if (!connect(driver, port)) {
            std::fprintf(stderr, "connect %d failed: %s\n", i, driver.last_error_text());
            return false;
        }
        driver.close();
    }
    if (!connect(driver, port)) {
        return false;
    }
    for (int i = 0; i < exchanges; ++i) {
        if (!exchange(driver, link, i)) {
            std::fprintf(stderr, "exchange %d failed: %s\n", i, driver.last_error_text());
            return false;
        }
    }
    driver.close();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 100;
    const int exchanges = argc > 2 ? std::atoi(argv[2]) : 10000;

    pid_t child = -1;
    int stop_fd = -1;
    const int port = start_sensor(child, stop_fd);
    if (port == 0) {
        std::fprintf(stderr, "the simulated sensor did not start\n");
        return 2;
    }
    kvt::Vyr_driver driver;
    Command_link link(driver);

    // A short round first, so that what is allocated once is not counted as growth.
    bool completed = run(driver, link, port, 5, 200);
    const int descriptors_before = open_descriptor_count();
    const long resident_before = resident_kib();

    QElapsedTimer clock;
    clock.start();
    completed = completed && run(driver, link, port, cycles, exchanges);
    const long long msec = clock.elapsed();

    const int descriptors_after = open_descriptor_count();
    const long resident_after = resident_kib();
    std::printf("cycles %d, exchanges %d, %lld ms\n", cycles, exchanges, msec);
    std::printf("descriptors: %d before, %d after\n", descriptors_before, descriptors_after);
    std::printf("resident memory: %ld KiB before, %ld KiB after (%+ld KiB)\n", resident_before,
                resident_after, resident_after - resident_before);

    const bool steady = descriptors_after <= descriptors_before &&
                        resident_after - resident_before <= max_growth_kib;
    stop_sensor(child, stop_fd);
    std::printf("%s\n", completed && steady ? "PASS" : "FAIL");
    return completed && steady ? 0 : 1;
}
