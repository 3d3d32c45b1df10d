#ifndef VYR_TESTS_SUPPORT_TCP_SENSOR_TEST_H
#define VYR_TESTS_SUPPORT_TCP_SENSOR_TEST_H

#include "line_client.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A simulator on a free loopback port with one connected host.
class Tcp_sensor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start_tcp(0));
        host = std::make_unique<Line_client>(Line_client::tcp(sim.tcp_port()));
        ASSERT_TRUE(host->ok());
    }

    std::vector<std::string> ask(const std::string& command, int timeout_ms = 1000)
    {
        EXPECT_TRUE(host->send(command + "\n"));
        return host->reply(timeout_ms);
    }

    vyr_sim::Simulator sim;
    std::unique_ptr<Line_client> host;
};

using Lines = std::vector<std::string>;

#endif
