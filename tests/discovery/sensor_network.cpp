#include "sensor_network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

int silent_listener(const std::string& address, int port, int backlog)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, address.c_str(), &place.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&place), sizeof place) != 0 ||
        listen(fd, backlog) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
    }
    return fd;
}

Sensor_network::Sensor_network(int net, const std::vector<int>& sensor_hosts,
                               const std::vector<int>& silent_hosts)
    : net_(net)
{
    for (const int host : sensor_hosts) {
        sensors_.push_back(std::make_unique<vyr_sim::Simulator>());
        sensors_.back()->set_version_field("SERI", serial_of(host));
        // The first picks a port free at its address; the others, alone at theirs, share it.
        if (!sensors_.back()->start_tcp(port_, address(host))) {
            throw std::runtime_error("cannot listen on " + address(host));
        }
        port_ = sensors_.back()->tcp_port();
    }
    for (const int host : silent_hosts) {
        listeners_.push_back(silent_listener(address(host), port_));
    }
}

Sensor_network::~Sensor_network()
{
    for (const int fd : listeners_) {
        close(fd);
    }
}

std::string Sensor_network::range() const
{
    return "127.0." + std::to_string(net_) + ".0/24";
}

std::string Sensor_network::address(int host) const
{
    return "127.0." + std::to_string(net_) + "." + std::to_string(host);
}
