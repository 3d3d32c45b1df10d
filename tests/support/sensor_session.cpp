#include "sensor_session.h"

#include "received_lines.h"

bool Sensor_session::connect()
{
    if (!sim.start_tcp(0)) {
        return false;
    }
    if (!driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)) {
        return false;
    }
    sim.clear_received();
    return true;
}

std::vector<std::string> Sensor_session::commands() const
{
    return command_texts(sim);
}

std::vector<std::string> Sensor_session::commands_after(size_t count, int time_out_ms) const
{
    sim.wait_for_received(count, time_out_ms);
    return commands();
}
