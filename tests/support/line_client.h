#ifndef VYR_TESTS_SUPPORT_LINE_CLIENT_H
#define VYR_TESTS_SUPPORT_LINE_CLIENT_H

// A minimal host side for the simulator's own tests, written without the
// program's transport so that the simulator is checked on its own.

#include <string>
#include <vector>

class Line_client
{
public:
    static Line_client tcp(int port);
    // Opens the slave in raw mode at the given termios speed constant.
    static Line_client pty(const std::string& path, unsigned speed);
    Line_client(Line_client&& other) noexcept;
    ~Line_client();

    bool ok() const { return fd_ >= 0; }
    void set_speed(unsigned speed);
    bool send(const std::string& text); // sent as it is, add the LF yourself
    // Lines up to the empty line that ends a reply (not included).
    // complete() tells whether that empty line arrived within the time-out.
    std::vector<std::string> reply(int timeout_ms = 1000);
    bool complete() const { return complete_; }
    // Everything that arrives until the link is quiet for quiet_ms.
    std::string drain(int quiet_ms = 300);
    // Everything that arrives within msec, for output that is never quiet.
    std::string read_for(int msec);
    // True when the other side closes within the time-out.
    bool closed_by_peer(int timeout_ms);

private:
    explicit Line_client(int fd) : fd_(fd) {}
    bool read_line(std::string& line, int timeout_ms);
    int fd_;
    std::string buffer_;
    bool complete_ = false;
};

#endif
