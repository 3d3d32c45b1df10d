#ifndef VYR_SIM_OPTIONS_H
#define VYR_SIM_OPTIONS_H

// Command-line options of vyr_sim. The same words typed on its standard input
// change the running sensor.

#include "simulator.h"

#include <string>
#include <vector>

namespace vyr_sim {

struct Endpoints
{
    bool tcp = true;
    int port = 10940;
    std::string address = "127.0.0.1"; // a loopback address
    bool serial = false;
    std::string record_path;
    std::string replay_path; // a recording to serve; read by the program, not the simulator
    bool help = false;
};

std::string usage_text(); // --help; the fault names from fault_names()

// Applies the options in order; false with a message on the first bad one.
bool apply_options(const std::vector<std::string>& args, Simulator& sim, Endpoints& endpoints,
                   std::string& error);

} // namespace vyr_sim

#endif
