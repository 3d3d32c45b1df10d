// vyr_sim: the simulated sensor as a program of its own.

#include "options.h"
#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <thread>

using namespace vyr_sim;

namespace {

// Option lines on standard input change the running sensor.
void read_controls(Simulator& sim)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::vector<std::string> args;
        for (std::string w; words >> w;)
            args.push_back(w);
        Endpoints ignored;
        std::string error;
        if (!apply_options(args, sim, ignored, error))
            std::fprintf(stderr, "vyr_sim: %s\n", error.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so that only sigwait below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Simulator sim;
    Endpoints endpoints;
    std::string error;
    if (!apply_options(std::vector<std::string>(argv + 1, argv + argc), sim, endpoints, error)) {
        std::fprintf(stderr, "vyr_sim: %s\n%s", error.c_str(), usage_text().c_str());
        return 2;
    }
    if (endpoints.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (!endpoints.tcp && !endpoints.serial) {
        std::fprintf(stderr, "vyr_sim: no endpoint (--no-tcp without --serial)\n");
        return 2;
    }
    if (endpoints.tcp) {
        if (!sim.start_tcp(endpoints.port, endpoints.address)) {
            std::fprintf(stderr, "vyr_sim: cannot listen on %s:%d\n", endpoints.address.c_str(),
                         endpoints.port);
            return 1;
        }
        std::printf("tcp %s:%d\n", endpoints.address.c_str(), sim.tcp_port());
        std::fflush(stdout);
    }
    if (endpoints.serial) {
        if (!sim.start_serial()) {
            std::fprintf(stderr, "vyr_sim: cannot create a pseudo-terminal\n");
            return 1;
        }
        std::printf("serial %s\n", sim.serial_path().c_str());
        std::fflush(stdout);
    }

    std::thread(read_controls, std::ref(sim)).detach();
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);

    sim.stop();
    int status = 0;
    if (!endpoints.record_path.empty() && !sim.write_record(endpoints.record_path)) {
        std::fprintf(stderr, "vyr_sim: cannot write %s\n", endpoints.record_path.c_str());
        status = 1;
    }
    // The control reader may still be inside a setter: leave without
    // destroying the simulator under it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
