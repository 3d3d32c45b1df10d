// Searching a /24 on loopback, each figure beside its goal: hosts that never take the
// connection (listeners whose accept queue is full), addresses that refuse at once, and
// 50 simulated sensors among 204 refusals. Optionally the same 50 through vyr find.
// Usage: vyr_find_bench [vyr program] [runs]

#include "network_search.h"
#include "simulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string address(int net, int host)
{
    return "127.0." + std::to_string(net) + "." + std::to_string(host);
}

sockaddr_in place_of(const std::string& text, int port)
{
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, text.c_str(), &place.sin_addr);
    return place;
}

// A listener with a backlog of none and one connection waiting in it: the system drops
// every later SYN, so a connect there waits for its time-out.
struct Full_listener
{
    int listener = -1;
    int waiting = -1;

    bool open(const std::string& text, int port)
    {
        const sockaddr_in place = place_of(text, port);
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        waiting = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return listener >= 0 && waiting >= 0 &&
               bind(listener, reinterpret_cast<const sockaddr*>(&place), sizeof place) == 0 &&
               listen(listener, 0) == 0 &&
               connect(waiting, reinterpret_cast<const sockaddr*>(&place), sizeof place) == 0;
    }
    ~Full_listener()
    {
        close(waiting);
        close(listener);
    }
};

struct Figures
{
    double median = 0, worst = 0;
    long found = 0;
};

Figures measure(const vyr_find::Network_search& search, int runs)
{
    std::vector<double> times;
    Figures figures;
    for (int i = 0; i < runs; ++i) {
        long found = 0;
        vyr_find::Search_report report;
        report.found = [&found](const vyr_find::Found_sensor&) { ++found; };
        const auto start = Clock::now();
        vyr_find::search_network(search, report);
        times.push_back(ms_since(start));
        figures.found = i == 0 ? found : std::min(figures.found, found);
    }
    std::sort(times.begin(), times.end());
    figures.median = times[times.size() / 2];
    figures.worst = times.back();
    return figures;
}

vyr_find::Network_search search_of(int net, int port)
{
    vyr_find::Network_search search;
    search.ranges = {vyr_find::Address_range{0x7F000001u | (uint32_t(net) << 8),
                                             0x7F0000FEu | (uint32_t(net) << 8)}};
    search.port = port;
    return search;
}

void row(const char* what, const Figures& figures, double goal, long want_found)
{
    const bool ok = figures.worst < goal && figures.found == want_found;
    std::printf("| %-44s | %8.1f | %8.1f | %6.0f | %5ld | %-4s |\n", what, figures.median,
                figures.worst, goal, figures.found, ok ? "ok" : "MISS");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string vyr = argc > 1 ? argv[1] : "";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    // 254 listeners, 254 waiting connections and 254 probes at once.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    std::vector<std::unique_ptr<vyr_sim::Simulator>> sensors;
    int port = 0;
    for (int host = 1; host <= 250; host += 5) {
        sensors.push_back(std::make_unique<vyr_sim::Simulator>());
        if (!sensors.back()->start_tcp(port, address(83, host))) {
            std::fprintf(stderr, "cannot listen on %s:%d\n", address(83, host).c_str(), port);
            return 1;
        }
        port = sensors.back()->tcp_port();
    }
    std::vector<std::unique_ptr<Full_listener>> full;
    for (int host = 1; host <= 254; ++host) {
        full.push_back(std::make_unique<Full_listener>());
        if (!full.back()->open(address(81, host), port)) {
            std::fprintf(stderr, "cannot fill a listener at %s:%d\n", address(81, host).c_str(),
                         port);
            return 1;
        }
    }

    std::printf("| search of a /24, %d runs, time-out 500 ms | median ms | worst ms | goal ms | "
                "found | |\n",
                runs);
    std::printf("|---|---:|---:|---:|---:|---|\n");
    row("254 hosts that never take the connection", measure(search_of(81, port), runs), 1000, 0);
    row("254 addresses that refuse", measure(search_of(82, port), runs), 300, 0);
    row("50 simulated sensors, 204 refusals", measure(search_of(83, port), runs), 1500, 50);

    if (!vyr.empty()) {
        std::vector<double> times;
        long found = 0;
        for (int i = 0; i < runs; ++i) {
            // The found sensors' lines are counted: one "serial_number" each.
            const std::string command = vyr + " find --tcp-only --json --range " + address(83, 0) +
                                        "/24 --port " + std::to_string(port) +
                                        " | grep -c serial_number";
            const auto start = Clock::now();
            FILE* output = popen(command.c_str(), "r");
            long count = 0;
            if (!output || std::fscanf(output, "%ld", &count) != 1) {
                count = 0;
            }
            if (output) {
                pclose(output);
            }
            times.push_back(ms_since(start));
            found = i == 0 ? count : std::min(found, count);
        }
        std::sort(times.begin(), times.end());
        Figures figures{times[times.size() / 2], times.back(), found};
        row("vyr find, the 50 sensors (process start to exit)", figures, 1500, 50);
    }
    return 0;
}
