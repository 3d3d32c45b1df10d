// Many sensors in one run: order, worst exit code, and a silent sensor that costs no
// more than its own time-out.

#include "cli_run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

const int fleet_size = 20;
const size_t silent[] = {3, 11};
const size_t refusing = 7;

class Fleet_test : public testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < fleet_size; ++i) {
            sims.push_back(std::make_unique<vyr_sim::Simulator>());
            ASSERT_TRUE(sims.back()->start_tcp(0));
        }
        for (size_t i : silent) {
            sims[i]->set_fault(vyr_sim::Fault::no_answer);
        }
        sims[refusing]->set_fault_command("%AH");
        sims[refusing]->set_fault(vyr_sim::Fault::refused_status);

        std::ofstream file(fleet_path);
        file << "# the fleet\n\n";
        for (const auto& sim : sims) {
            file << "127.0.0.1:" << sim->tcp_port() << "   # sensor\n";
        }
    }
    void TearDown() override { std::remove(fleet_path.c_str()); }

    std::string name_of(size_t i) const
    {
        return "127.0.0.1:" + std::to_string(sims[i]->tcp_port());
    }

    std::vector<std::unique_ptr<vyr_sim::Simulator>> sims;
    const std::string fleet_path =
        testing::TempDir() + "vyr_fleet_" + std::to_string(getpid()) + ".txt";
};

TEST_F(Fleet_test, results_in_order_worst_exit_code_and_no_wait_for_the_silent)
{
    const Cli_run fastest = run_vyr("heater on " + std::string("--host ") + name_of(0));
    ASSERT_EQ(fastest.exit_code, 0) << fastest.err;

    const Cli_run run = run_vyr("heater on --json --hosts " + fleet_path);
    EXPECT_EQ(run.exit_code, 3) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["exit_code"], 3);
    ASSERT_EQ(document["results"].size(), static_cast<size_t>(fleet_size));
    for (size_t i = 0; i < sims.size(); ++i) {
        const nlohmann::json& result = document["results"][i];
        EXPECT_EQ(result["target"], name_of(i)) << i;
        const bool is_silent = i == silent[0] || i == silent[1];
        const int expected = is_silent ? 3 : i == refusing ? 1 : 0;
        EXPECT_EQ(result["exit_code"], expected) << i;
        if (expected == 0) {
            EXPECT_TRUE(sims[i]->heater()) << i;
        }
        if (is_silent) {
            EXPECT_TRUE(commands_after_open(*sims[i]).empty()) << i;
        }
    }
    // The heater's reply time-out is the longest any of them can wait.
    EXPECT_LE(run.msec, fastest.msec + 2000) << "fastest " << fastest.msec << " ms";
}

TEST_F(Fleet_test, text_output_one_block_per_target_and_errors_beside_them)
{
    const Cli_run run = run_vyr("phase --jobs 4 --hosts " + fleet_path);
    EXPECT_EQ(run.exit_code, 3);
    size_t at = 0;
    for (size_t i = 0; i < sims.size(); ++i) {
        at = run.out.find(name_of(i) + "\n", at);
        ASSERT_NE(at, std::string::npos) << i << "\n" << run.out;
    }
    for (size_t i : silent) {
        EXPECT_NE(run.err.find("vyr: " + name_of(i) + ": "), std::string::npos) << run.err;
    }
}

// SIGTERM (or Ctrl-C) while some sensors are slow: the results gathered so far are
// printed, the rest marked, and the exit code says the run was interrupted.
TEST_F(Fleet_test, signal_prints_what_was_gathered_and_marks_the_rest)
{
    const size_t slow[] = {5, 17};
    const auto is_slow = [&](size_t i) { return i == slow[0] || i == slow[1]; };
    const auto is_silent = [&](size_t i) { return i == silent[0] || i == silent[1]; };
    for (size_t i : slow) {
        sims[i]->set_fault_command("%AH");
        sims[i]->set_fault(vyr_sim::Fault::delay);
        sims[i]->set_fault_delay_ms(20000);
    }
    Vyr_process vyr("heater on --json --hosts " + fleet_path);
    for (size_t i = 0; i < sims.size(); ++i) {
        for (int wait = 0; wait < 500 && !is_slow(i) && !is_silent(i) && i != refusing &&
                           !sims[i]->heater();
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_TRUE(sims[slow[0]]->wait_for_received(3, 5000)); // "QT", "PP", "%AH1"
    vyr.signal(SIGTERM);
    const Cli_run run = vyr.wait(10000);
    EXPECT_EQ(run.exit_code, 143) << run.err;
    EXPECT_LE(run.msec, 1000) << "after the signal";
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["exit_code"], 143);
    ASSERT_EQ(document["results"].size(), sims.size());
    for (size_t i = 0; i < sims.size(); ++i) {
        const nlohmann::json& result = document["results"][i];
        EXPECT_EQ(result["target"], name_of(i)) << i;
        if (is_slow(i)) {
            EXPECT_EQ(result["exit_code"], 143) << i;
            EXPECT_EQ(result["error"]["text"], "interrupted") << i;
        } else if (!is_silent(i) && i != refusing) {
            EXPECT_EQ(result["exit_code"], 0) << i;
            EXPECT_EQ(result.value("heater", ""), "on") << i;
        }
    }
    EXPECT_NE(run.err.find("vyr: " + name_of(slow[1]) + ": interrupted"), std::string::npos)
        << run.err;
}

} // namespace
