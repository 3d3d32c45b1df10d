#ifndef VYR_TESTS_SIM_FIXTURE_H
#define VYR_TESTS_SIM_FIXTURE_H

// A simulated sensor on loopback and a fresh engine handle for each test.

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
        ASSERT_EQ(open_tcp(), 0);
        sim.clear_received();
    }

    std::vector<std::string> received() const
    {
        std::vector<std::string> texts;
        for (const auto& line : sim.received()) {
            texts.push_back(line.text);
        }
        return texts;
    }

    std::vector<long> received_rates() const
    {
        std::vector<long> rates;
        for (const auto& line : sim.received()) {
            rates.push_back(line.host_rate);
        }
        return rates;
    }

    // True when the sensor gets no further command line within ms.
    bool nothing_more_received(int ms) const
    {
        return !sim.wait_for_received(sim.received().size() + 1, ms);
    }
};

// A loopback port with nothing listening on it.
int unused_tcp_port();

#endif
