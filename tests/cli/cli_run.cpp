#include "cli_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

Cli_run run_vyr(const std::string& arguments, const std::string& pipe_to)
{
    char dir[] = "/tmp/vyr_cli_XXXXXX";
    if (!mkdtemp(dir)) {
        return {};
    }
    const std::string base = dir;
    std::string command = std::string(VYR_PROGRAM) + " " + arguments + " 2>" + base + "/err";
    if (pipe_to.empty()) {
        command += " >" + base + "/out; echo $? >" + base + "/rc";
    } else {
        command = command + " | " + pipe_to + " >" + base + "/out; echo ${PIPESTATUS[0]} >" + base +
                  "/rc";
    }
    const auto start = std::chrono::steady_clock::now();
    std::system(("bash -c '" + command + "'").c_str());
    Cli_run run;
    run.msec = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
    run.out = read_file(base + "/out");
    run.err = read_file(base + "/err");
    run.exit_code = std::atoi(read_file(base + "/rc").c_str());
    std::system(("rm -rf " + base).c_str());
    return run;
}

std::string host_of(const vyr_sim::Simulator& sim)
{
    return "--host 127.0.0.1:" + std::to_string(sim.tcp_port());
}
