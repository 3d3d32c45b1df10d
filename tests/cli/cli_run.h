#ifndef VYR_TESTS_CLI_CLI_RUN_H
#define VYR_TESTS_CLI_CLI_RUN_H

#include "received_lines.h"
#include "simulator.h"

#include <string>
#include <sys/types.h>
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
// receives standard output ("head -n 5"), and exit_code is then vyr's own; out_file, when
// given, takes standard output in place of Cli_run::out ("/dev/full").
Cli_run run_vyr(const std::string& arguments, const std::string& pipe_to = "",
                const std::string& out_file = "");

// "--host 127.0.0.1:PORT" of a simulator's TCP endpoint.
std::string host_of(const vyr_sim::Simulator& sim);

// vyr running in the background, to be sent signals. Killed if still running at the end.
class Vyr_process
{
public:
    explicit Vyr_process(const std::string& arguments);
    ~Vyr_process();
    Vyr_process(const Vyr_process&) = delete;
    Vyr_process& operator=(const Vyr_process&) = delete;

    void signal(int number);
    // Waits at most timeout_ms for the end; msec counts from the last signal sent.
    // exit_code is 128 + the signal for a process a signal ended, -1 when it did not end.
    Cli_run wait(int timeout_ms);

private:
    std::string dir_;
    pid_t pid_ = -1;
    long long signalled_at_ = 0;
};

// The vyr_sim program, for what only the program does (--replay). Killed at the end.
class Sim_program
{
public:
    // arguments as for the shell; endpoints: the lines to wait for ("tcp", "serial").
    Sim_program(const std::string& arguments, int endpoints);
    ~Sim_program();
    Sim_program(const Sim_program&) = delete;
    Sim_program& operator=(const Sim_program&) = delete;

    std::string host() const { return tcp_.empty() ? "" : "--host " + tcp_; }
    std::string serial() const { return serial_.empty() ? "" : "--serial " + serial_; }
    std::string error() const; // standard error so far, when it did not start

private:
    std::string dir_;
    pid_t pid_ = -1;
    std::string tcp_, serial_;
};

// True when text is valid UTF-8.
bool is_utf8(const std::string& text);

#endif
