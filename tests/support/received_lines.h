#ifndef VYR_TESTS_SUPPORT_RECEIVED_LINES_H
#define VYR_TESTS_SUPPORT_RECEIVED_LINES_H

#include "simulator.h"

#include <string>
#include <vector>

// The command lines a simulated sensor has received, without their LF.
std::vector<std::string> command_texts(const vyr_sim::Simulator& sim);

// The same after the opening ("PP"), for programs that open on their own.
std::vector<std::string> commands_after_open(const vyr_sim::Simulator& sim);

// The line speed the host had set for each received line; 0 over TCP.
std::vector<long> received_rates(const vyr_sim::Simulator& sim);

#endif
