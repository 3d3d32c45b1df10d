#ifndef VYR_TESTS_SUPPORT_SENSOR_SESSION_H
#define VYR_TESTS_SUPPORT_SENSOR_SESSION_H

#include <string>
#include <vector>

#include "simulator.h"
#include "vyr_driver.h"

// A simulated sensor on loopback and a driver connected to it over TCP.
struct Sensor_session
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;

    // Starts the sensor, opens the driver and forgets the opening handshake.
    bool connect();
    // The command lines the sensor has received since, without their LF.
    std::vector<std::string> commands() const;
    // Waits until `count` command lines are in, then returns them all.
    std::vector<std::string> commands_after(size_t count, int time_out_ms = 3000) const;
};

#endif
