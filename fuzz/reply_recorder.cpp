#include "reply_recorder.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int poll_slice_ms = 5;

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

[[noreturn]] void die(const char* what)
{
    std::perror(what);
    std::abort();
}

} // namespace

Reply_recorder::Reply_recorder(int sensor_port) : sensor_port_(sensor_port)
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        die("recorder listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&Reply_recorder::run, this);
}

Reply_recorder::~Reply_recorder()
{
    stopping_ = true;
    thread_.join();
    close(listener_);
}

std::string Reply_recorder::take(int quiet_ms)
{
    size_t seen = static_cast<size_t>(-1);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(quiet_ms));
        std::lock_guard<std::mutex> lock(mutex_);
        if (recorded_.size() == seen) {
            std::string bytes;
            bytes.swap(recorded_);
            return bytes;
        }
        seen = recorded_.size();
    }
}

void Reply_recorder::run()
{
    while (!stopping_) {
        pollfd ready{listener_, POLLIN, 0};
        if (poll(&ready, 1, poll_slice_ms) <= 0) {
            continue;
        }
        const int host = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (host >= 0) {
            relay(host);
            close(host);
        }
    }
}

void Reply_recorder::relay(int host)
{
    const int sensor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(sensor_port_);
    if (sensor < 0 ||
        connect(sensor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        die("recorder connect");
    }
    pollfd ends[2] = {{host, POLLIN, 0}, {sensor, POLLIN, 0}};
    char buffer[4096];
    while (!stopping_) {
        if (poll(ends, 2, poll_slice_ms) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (!(ends[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            const ssize_t n = recv(ends[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                close(sensor);
                return;
            }
            if (i == 1) {
                std::lock_guard<std::mutex> lock(mutex_);
                recorded_.append(buffer, static_cast<size_t>(n));
            }
            send(ends[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
        }
    }
    close(sensor);
}
