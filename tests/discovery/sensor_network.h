#ifndef VYR_TESTS_DISCOVERY_SENSOR_NETWORK_H
#define VYR_TESTS_DISCOVERY_SENSOR_NETWORK_H

// A made-up network in 127.0.N.0/24: simulated sensors and listeners that take a
// connection and never answer, all on one port. Set-up failures throw.

#include "simulator.h"

#include <memory>
#include <string>
#include <vector>

class Sensor_network
{
public:
    // Sensors at 127.0.net.H for each H of sensor_hosts, with serial number serial_of(H);
    // silent listeners at the silent_hosts.
    Sensor_network(int net, const std::vector<int>& sensor_hosts,
                   const std::vector<int>& silent_hosts = {});
    ~Sensor_network();
    Sensor_network(const Sensor_network&) = delete;
    Sensor_network& operator=(const Sensor_network&) = delete;

    int port() const { return port_; }
    std::string range() const; // "127.0.N.0/24"
    std::string address(int host) const;
    static std::string serial_of(int host) { return "H" + std::to_string(1000 + host); }
    vyr_sim::Simulator& sensor(size_t index) { return *sensors_[index]; }

private:
    int net_;
    int port_ = 0;
    std::vector<std::unique_ptr<vyr_sim::Simulator>> sensors_;
    std::vector<int> listeners_;
};

// A listener at address:port that completes the handshake and never reads or answers.
int silent_listener(const std::string& address, int port, int backlog = 16);

#endif
