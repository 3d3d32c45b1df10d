#include "cli_run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long long now_msec()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string make_temp_dir()
{
    char dir[] = "/tmp/vyr_cli_XXXXXX";
    return mkdtemp(dir) ? dir : "";
}

} // namespace

Cli_run run_vyr(const std::string& arguments, const std::string& pipe_to,
                const std::string& out_file)
{
    const std::string base = make_temp_dir();
    if (base.empty()) {
        return {};
    }
    const std::string out = out_file.empty() ? base + "/out" : out_file;
    std::string command = std::string(VYR_PROGRAM) + " " + arguments + " 2>" + base + "/err";
    if (pipe_to.empty()) {
        command += " >" + out + "; echo $? >" + base + "/rc";
    } else {
        command = command + " | " + pipe_to + " >" + out + "; echo ${PIPESTATUS[0]} >" + base +
                  "/rc";
    }
    const long long start = now_msec();
    std::system(("bash -c '" + command + "'").c_str());
    Cli_run run;
    run.msec = now_msec() - start;
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

Vyr_process::Vyr_process(const std::string& arguments) : dir_(make_temp_dir())
{
    const std::string command = "exec " + std::string(VYR_PROGRAM) + " " + arguments + " >" +
                                dir_ + "/out 2>" + dir_ + "/err";
    pid_ = fork();
    if (pid_ == 0) {
        execl("/bin/bash", "bash", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    signalled_at_ = now_msec();
}

Vyr_process::~Vyr_process()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::system(("rm -rf " + dir_).c_str());
}

void Vyr_process::signal(int number)
{
    kill(pid_, number);
    signalled_at_ = now_msec();
}

Cli_run Vyr_process::wait(int timeout_ms)
{
    Cli_run run;
    const long long give_up = now_msec() + timeout_ms;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid_, &status, WNOHANG)) == 0 && now_msec() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.msec = now_msec() - signalled_at_;
    if (ended == pid_) {
        pid_ = -1;
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    run.out = read_file(dir_ + "/out");
    run.err = read_file(dir_ + "/err");
    return run;
}

Sim_program::Sim_program(const std::string& arguments, int endpoints) : dir_(make_temp_dir())
{
    int out[2];
    if (pipe(out) != 0) {
        return;
    }
    const std::string command =
        "exec " + std::string(VYR_SIM) + " " + arguments + " 2>" + dir_ + "/err";
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl("/bin/bash", "bash", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[256];
    for (int i = 0; i < endpoints && lines && std::fgets(line, sizeof line, lines); ++i) {
        std::string text(line);
        text.erase(text.find_last_not_of('\n') + 1);
        if (text.rfind("tcp ", 0) == 0) {
            tcp_ = text.substr(4);
        } else if (text.rfind("serial ", 0) == 0) {
            serial_ = text.substr(7);
        }
    }
    if (lines) {
        std::fclose(lines);
    }
}

Sim_program::~Sim_program()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::system(("rm -rf " + dir_).c_str());
}

std::string Sim_program::error() const
{
    return read_file(dir_ + "/err");
}

bool is_utf8(const std::string& text)
{
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}
