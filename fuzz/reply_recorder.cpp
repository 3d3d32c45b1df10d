#include "reply_recorder.h"

#include "loopback_socket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>

namespace {

const int poll_slice_ms = 5;

} // namespace

Reply_recorder::Reply_recorder(int sensor_port) : sensor_port_(sensor_port)
{
    listener_ = listen_loopback(port_, 4);
    if (listener_ < 0) {
        die("recorder listen");
    }
    thread_ = std::thread(&Reply_recorder::run, this);
}

Reply_recorder::~Reply_recorder()
{
    stopping_ = true;
    thread_.join();
    close_socket(listener_);
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
        int host = accept_peer(listener_);
        if (host >= 0) {
            relay(host);
            close_socket(host);
        }
    }
}

void Reply_recorder::relay(int host)
{
    int sensor = connect_loopback(sensor_port_);
    if (sensor < 0) {
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
                close_socket(sensor);
                return;
            }
            if (i == 1) {
                std::lock_guard<std::mutex> lock(mutex_);
                recorded_.append(buffer, static_cast<size_t>(n));
            }
            send(ends[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
        }
    }
    close_socket(sensor);
}
