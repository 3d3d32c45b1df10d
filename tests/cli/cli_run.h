#ifndef VYR_TESTS_CLI_CLI_RUN_H
#define VYR_TESTS_CLI_CLI_RUN_H

#include "received_lines.h"
#include "simulator.h"

#include <string>
#include <vector>

// One run of the vyr program through the shell.
struct Cli_run
{
    int exit_code = -1;
    std::string out;
    std::string err;
    long long msec = 0; // start to exit
};

// arguments are joined with blanks and go to the shell as they are; pipe_to, when given,
// receives standard output ("head -n 5"), and exit_code is then vyr's own.
Cli_run run_vyr(const std::string& arguments, const std::string& pipe_to = "");

// "--host 127.0.0.1:PORT" of a simulator's TCP endpoint.
std::string host_of(const vyr_sim::Simulator& sim);

#endif
