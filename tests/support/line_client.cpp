#include "line_client.h"

#include "loopback_socket.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

Line_client Line_client::tcp(int port)
{
    return Line_client(connect_loopback(port));
}

Line_client Line_client::pty(const std::string& path, unsigned speed)
{
    Line_client c(open(path.c_str(), O_RDWR | O_NOCTTY));
    if (c.ok())
        c.set_speed(speed);
    return c;
}

Line_client::Line_client(Line_client&& other) noexcept
    : fd_(other.fd_), buffer_(std::move(other.buffer_)), complete_(other.complete_)
{
    other.fd_ = -1;
}

Line_client::~Line_client()
{
    if (fd_ >= 0)
        close(fd_);
}

void Line_client::set_speed(unsigned speed)
{
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, static_cast<speed_t>(speed));
    tcsetattr(fd_, TCSANOW, &t);
}

bool Line_client::send(const std::string& text)
{
    return write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool Line_client::read_line(std::string& line, int timeout_ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        size_t lf = buffer_.find('\n');
        if (lf != std::string::npos) {
            line = buffer_.substr(0, lf);
            buffer_.erase(0, lf + 1);
            return true;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms_left(end)) <= 0)
            return false;
        char buf[4096];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0)
            return false;
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

std::vector<std::string> Line_client::reply(int timeout_ms)
{
    std::vector<std::string> lines;
    complete_ = false;
    std::string line;
    while (read_line(line, timeout_ms)) {
        if (line.empty()) {
            complete_ = true;
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

std::string Line_client::drain(int quiet_ms)
{
    std::string all = std::move(buffer_);
    buffer_.clear();
    char buf[4096];
    pollfd p{fd_, POLLIN, 0};
    while (poll(&p, 1, quiet_ms) > 0) {
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0)
            break;
        all.append(buf, static_cast<size_t>(n));
    }
    return all;
}

std::string Line_client::read_for(int msec)
{
    const auto end = Clock::now() + std::chrono::milliseconds(msec);
    std::string all = std::move(buffer_);
    buffer_.clear();
    char buf[4096];
    pollfd p{fd_, POLLIN, 0};
    while (poll(&p, 1, ms_left(end)) > 0) {
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0)
            break;
        all.append(buf, static_cast<size_t>(n));
    }
    return all;
}

bool Line_client::closed_by_peer(int timeout_ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[256];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms_left(end)) <= 0)
            return false;
        if (read(fd_, buf, sizeof buf) <= 0)
            return true;
    }
}
