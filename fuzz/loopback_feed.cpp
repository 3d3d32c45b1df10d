#include "loopback_feed.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Short enough to notice a finished input quickly, long enough not to spin.
const int poll_slice_ms = 5;

[[noreturn]] void die(const char* what)
{
    std::perror(what);
    std::abort();
}

} // namespace

Loopback_feed::Loopback_feed()
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        die("feed socket");
    }
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        die("feed listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&Loopback_feed::run, this);
}

Loopback_feed::~Loopback_feed()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    close(listener_);
}

void Loopback_feed::serve(std::string bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_ = std::move(bytes);
        armed_ = true;
        host_done_ = false;
    }
    changed_.notify_all();
}

void Loopback_feed::finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    host_done_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !armed_; });
}

void Loopback_feed::run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return armed_ || stopping_; });
            if (stopping_) {
                return;
            }
        }
        // Wait for the host; an input whose host never connects ends with finish().
        int client = -1;
        for (;;) {
            pollfd ready{listener_, POLLIN, 0};
            if (poll(&ready, 1, poll_slice_ms) > 0) {
                client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    break;
                }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (host_done_ || stopping_) {
                break;
            }
        }
        if (client >= 0) {
            play(client);
        }
        std::unique_lock<std::mutex> lock(mutex_);
        // finish() may come only after the connection is played out.
        changed_.wait(lock, [this] { return host_done_ || stopping_; });
        armed_ = false;
        changed_.notify_all();
    }
}

void Loopback_feed::play(int client)
{
    std::string bytes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes.swap(bytes_);
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        // Fails once the host has closed without reading everything; that is fine.
        const ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<size_t>(n);
    }
    shutdown(client, SHUT_WR);
    char sink[4096];
    while (recv(client, sink, sizeof sink, 0) > 0) {
    }
    close(client);
}
