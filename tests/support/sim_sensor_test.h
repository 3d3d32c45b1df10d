#ifndef VYR_TESTS_SUPPORT_SIM_SENSOR_TEST_H
#define VYR_TESTS_SUPPORT_SIM_SENSOR_TEST_H

// A simulated sensor in the process and a fresh engine handle for each test.

#include "received_lines.h"
#include "simulator.h"
#include "vyr_exchange.h"
#include "vyr_sensor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class Sim_test : public ::testing::Test
{
protected:
    vyr_sim::Simulator sim;
    vyr_sensor sensor;
    bool tcp_started = false;

    Sim_test() { vyr_sensor_init(&sensor); }
    ~Sim_test() override { vyr_close(&sensor); }

    int open_tcp()
    {
        if (!tcp_started) {
            tcp_started = sim.start_tcp(0);
            EXPECT_TRUE(tcp_started);
        }
        return vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", sim.tcp_port());
    }

    int open_serial(long baudrate)
    {
        EXPECT_TRUE(sim.start_serial());
        return vyr_open(&sensor, VYR_SERIAL, sim.serial_path().c_str(), baudrate);
    }

    // Opens over TCP and forgets the opening commands.
    void open_tcp_and_clear()
    {
        ASSERT_EQ(open_tcp(), 0) << vyr_error_text(&sensor);
        sim.clear_received();
    }

    std::vector<std::string> received() const { return command_texts(sim); }
    std::vector<long> received_rates() const { return ::received_rates(sim); }

    // True when the sensor gets no further command line within ms.
    bool nothing_more_received(int ms) const
    {
        return !sim.wait_for_received(sim.received().size() + 1, ms);
    }
};

// The sensor parameters of a 1440-step sensor measuring 1081 steps.
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

// The same with the sensor of the parameters above, started before each test.
class Sim_sensor_test : public Sim_test
{
protected:
    void SetUp() override
    {
        start_simulator(sim);
        tcp_started = true;
    }

    void open_sensor() { open_tcp_and_clear(); }
    std::vector<std::string> commands() const { return received(); }
};

#endif
