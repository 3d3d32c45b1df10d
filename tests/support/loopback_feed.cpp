#include "loopback_feed.h"

#include "loopback_socket.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Short enough to notice a finished input quickly, long enough not to spin.
const int poll_slice_ms = 5;

} // namespace

Loopback_feed::Loopback_feed()
{
    listener_ = listen_loopback(port_, 8);
    if (listener_ < 0) {
        die("feed listen");
    }
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
    close_socket(listener_);
}

std::vector<Feed_part> replies_per_line(const std::string& bytes, size_t max_parts)
{
    std::vector<Feed_part> parts;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\n\n", start);
        end = end == std::string::npos || parts.size() + 1 >= max_parts ? bytes.size() : end + 2;
        parts.push_back({bytes.substr(start, end - start), {}});
        start = end;
    }
    return parts;
}

void Loopback_feed::serve(std::vector<Feed_part> parts)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parts_ = std::move(parts);
        armed_ = true;
        host_done_ = false;
    }
    changed_.notify_all();
}

bool Loopback_feed::wait_answered(int timeout_ms)
{
    for (int waited = 0; waited <= timeout_ms; waited += poll_slice_ms) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            int unread = 0;
            if (client_ < 0 || (!answering_ && ioctl(client_, FIONREAD, &unread) == 0 &&
                                unread == 0)) {
                return true;
            }
        }
        poll(nullptr, 0, poll_slice_ms);
    }
    return false;
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
                client = accept_peer(listener_);
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

namespace {

// The part a host line releases, or parts.size() for none.
size_t part_for(const std::vector<Feed_part>& parts, size_t next, const std::string& line)
{
    for (size_t i = next; i < parts.size(); ++i) {
        const std::string& key = parts[i].after_command;
        if (!key.empty() && line.compare(0, key.size(), key) == 0) {
            return i;
        }
    }
    return next < parts.size() && parts[next].after_command.empty() ? next : parts.size();
}

// False once the host is gone.
bool send_part(int client, const Feed_part& part)
{
    const std::string& bytes = part.bytes;
    if (part.pacing.empty()) {
        return send_all(client, bytes.data(), bytes.size());
    }
    size_t done = 0;
    int paused = 0;
    for (size_t turn = 0; done < bytes.size(); ++turn) {
        const unsigned p = static_cast<unsigned char>(part.pacing[turn % part.pacing.size()]);
        const int pause = paused < part.max_pause_ms
                              ? std::min<int>(p % 32, part.max_pause_ms - paused)
                              : 0;
        const size_t n = paused < part.max_pause_ms
                             ? std::min<size_t>(1 + p / 32, bytes.size() - done)
                             : bytes.size() - done;
        if (!send_all(client, bytes.data() + done, n)) {
            return false;
        }
        done += n;
        if (pause > 0 && done < bytes.size()) {
            poll(nullptr, 0, pause);
            paused += pause;
        }
    }
    return true;
}

} // namespace

void Loopback_feed::play(int client)
{
    std::vector<Feed_part> parts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parts.swap(parts_);
    }
    size_t next = 0;
    bool shut = false;
    std::string pending;
    char input[4096];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        client_ = client;
    }
    for (;;) {
        if (!shut && next >= parts.size()) {
            shutdown(client, SHUT_WR);
            shut = true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            answering_ = false;
        }
        pollfd ready{client, POLLIN, 0};
        poll(&ready, 1, -1);
        {
            // Taken before the bytes leave the socket, so waiters never see a gap.
            std::lock_guard<std::mutex> lock(mutex_);
            answering_ = true;
        }
        const ssize_t n = recv(client, input, sizeof input, 0);
        if (n <= 0) {
            break;
        }
        pending.append(input, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const size_t part = part_for(parts, next, line);
            if (part < parts.size()) {
                // Fails once the host has closed without reading everything; that is fine.
                send_part(client, parts[part]);
                next = part + 1;
            }
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        client_ = -1;
        answering_ = false;
    }
    close(client);
}
