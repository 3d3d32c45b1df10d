#ifndef SIM_SENSOR_FIXTURE_H
#define SIM_SENSOR_FIXTURE_H

// A simulated sensor on loopback and an engine handle opened on it, with the
// sensor parameters of a 1440-step, 1081-step-wide sensor.

#include "simulator.h"
#include "vyr_sensor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

constexpr int area_max = 1080;
constexpr int area_front = 540;
constexpr int area_resolution = 1440;

// Gives the simulator the parameters above, sends scans back to back and
// starts its loopback endpoint.
inline void start_simulator(vyr_sim::Simulator& sim)
{
    sim.set_parameter("AMIN", "0");
    sim.set_parameter("AMAX", std::to_string(area_max));
    sim.set_parameter("AFRT", std::to_string(area_front));
    sim.set_parameter("ARES", std::to_string(area_resolution));
    sim.set_pacing(vyr_sim::Pacing::fast);
    ASSERT_TRUE(sim.start_tcp(0));
}

// Command lines the sensor has received, without their LF.
inline std::vector<std::string> command_texts(const vyr_sim::Simulator& sim)
{
    std::vector<std::string> texts;
    for (const auto& line : sim.received()) {
        texts.push_back(line.text);
    }
    return texts;
}

class Sim_sensor_test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        start_simulator(sim);
        vyr_sensor_init(&sensor);
    }

    void TearDown() override { vyr_close(&sensor); }

    void open_sensor()
    {
        ASSERT_EQ(vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", sim.tcp_port()), 0)
            << vyr_error_text(&sensor);
        sim.clear_received();
    }

    std::vector<std::string> commands() const { return command_texts(sim); }

    vyr_sim::Simulator sim;
    vyr_sensor sensor;
};

#endif
