#include "encoding.h"
#include "line_client.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// vyr_sim as a child process with pipes on its standard input and output.
class Sim_process
{
public:
    explicit Sim_process(std::vector<std::string> args)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(VYR_SIM_PATH)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(VYR_SIM_PATH, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Sim_process()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(input_);
        close(output_);
    }

    std::string read_line(int timeout_ms = 3000)
    {
        std::string line;
        char c;
        pollfd p{output_, POLLIN, 0};
        while (poll(&p, 1, timeout_ms) > 0 && read(output_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    std::string read_all()
    {
        std::string all;
        char buf[1024];
        ssize_t n;
        while ((n = read(output_, buf, sizeof buf)) > 0)
            all.append(buf, static_cast<size_t>(n));
        return all;
    }
    void type(const std::string& text)
    {
        ASSERT_EQ(write(input_, text.data(), text.size()), ssize_t(text.size()));
    }
    int stop(int signal_number)
    {
        kill(pid_, signal_number);
        return wait_exit();
    }
    int wait_exit()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool exited_ = false;
};

} // namespace

TEST(Sim_program, help_and_bad_options)
{
    Sim_process help({"--help"});
    std::string text = help.read_all();
    EXPECT_EQ(help.wait_exit(), 0);
    for (const char* word : {"--port", "--address", "--serial", "--fault", "--record", "--ip-forms"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    // One name per fault, in enum order, each in the help text and read back.
    const auto& names = vyr_sim::fault_names();
    ASSERT_EQ(names.size(), static_cast<size_t>(vyr_sim::Fault::hostile_status) + 1);
    for (size_t i = 0; i < names.size(); ++i) {
        vyr_sim::Fault read_back{};
        EXPECT_EQ(static_cast<size_t>(names[i].fault), i) << names[i].name;
        EXPECT_TRUE(vyr_sim::fault_from_name(names[i].name, read_back) &&
                    read_back == names[i].fault)
            << names[i].name;
        EXPECT_NE(text.find(std::string(" ") + names[i].name), std::string::npos) << names[i].name;
    }

    Sim_process bad({"--fault", "no-such-fault"});
    EXPECT_EQ(bad.wait_exit(), 2);
    Sim_process bad_escape({"--version-field", "PROD=a\\x0"});
    EXPECT_EQ(bad_escape.wait_exit(), 2);
    // Loopback only: a simulated sensor never shows on a real network.
    Sim_process outside({"--address", "10.0.0.1", "--port", "0"});
    EXPECT_EQ(outside.wait_exit(), 2);
}

TEST(Sim_program, field_values_carry_any_byte_through_escapes)
{
    Sim_process sim({"--port", "0", "--version-field", "PROD=<b>\\x00\\xff\\x1b\\\\",
                     "--fault", "chatter", "--no-fault", "chatter", "--line-interval", "5"});
    const std::string tcp_line = sim.read_line();
    ASSERT_EQ(tcp_line.rfind("tcp 127.0.0.1:", 0), 0u) << tcp_line;
    Line_client host = Line_client::tcp(std::stoi(tcp_line.substr(14)));
    ASSERT_TRUE(host.send("VV\n"));
    const std::vector<std::string> r = host.reply();
    const std::string prod = std::string("PROD:<b>\0\xff\x1b\\", 12);
    EXPECT_NE(std::find(r.begin(), r.end(), prod + ";" + vyr_sim::checksum(prod)), r.end());
}

TEST(Sim_program, reports_endpoints_takes_controls_and_writes_the_record)
{
    const std::string record = testing::TempDir() + "vyr_sim_record.txt";
    std::remove(record.c_str());
    Sim_process sim({"--port", "0", "--serial", "--record", record});
    const std::string tcp_line = sim.read_line();
    const std::string serial_line = sim.read_line();
    ASSERT_EQ(tcp_line.rfind("tcp 127.0.0.1:", 0), 0u) << tcp_line;
    EXPECT_EQ(serial_line.rfind("serial /dev/", 0), 0u) << serial_line;

    Line_client host = Line_client::tcp(std::stoi(tcp_line.substr(14)));
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.send("QT\n"));
    EXPECT_EQ(host.reply(), (std::vector<std::string>{"QT", "00P"}));

    // Each control line is answered once it is in force, a refused one too.
    sim.type("--no-such-option\n--fault wrong-echo\n");
    EXPECT_EQ(sim.read_line(), "done");
    EXPECT_EQ(sim.read_line(), "done");
    ASSERT_TRUE(host.send("VV\n"));
    EXPECT_NE(host.reply().at(0), "VV");

    EXPECT_EQ(sim.stop(SIGTERM), 0);
    std::ifstream file(record);
    std::string first;
    ASSERT_TRUE(std::getline(file, first));
    EXPECT_EQ(first.substr(first.find('\t') + 1), "QT");
}
