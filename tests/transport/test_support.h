#ifndef VYR_TESTS_TRANSPORT_TEST_SUPPORT_H
#define VYR_TESTS_TRANSPORT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Real loopback and pseudo-terminal endpoints for the transport tests.

// Descriptors, or on Windows handles, the process holds.
int open_descriptor_count();

// Reads through a transport's read function; a failure gives no bytes.
template <class Record>
std::string read_through(int32_t (*read)(Record*, char*, int32_t, int32_t), Record* record,
                         int32_t size, int32_t timeout)
{
    std::string out(static_cast<size_t>(size), '\0');
    const int32_t got = read(record, &out[0], size, timeout);
    EXPECT_GE(got, 0);
    out.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return out;
}

// Reads one line through a transport's line function into a guarded buffer, so that a write
// past the given size fails the test.
template <class Record>
int32_t readline_through(int32_t (*readline)(Record*, char*, int32_t, int32_t), Record* record,
                         std::string& line, int32_t size, int32_t timeout)
{
    std::vector<char> buffer(static_cast<size_t>(size) + 2, '#');
    buffer.back() = '\0';
    const int32_t result = readline(record, buffer.data(), size, timeout);
    EXPECT_EQ(buffer[static_cast<size_t>(size)], '#') << "wrote past the buffer";
    line = buffer.data();
    return result;
}

class Stopwatch
{
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    long elapsed_ms() const
    {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count());
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// A listener on 127.0.0.1 with an ephemeral port; serves one peer at a time.
class LoopbackServer
{
public:
    explicit LoopbackServer(int backlog = 4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // False when no client connected within a second.
    bool accept_peer();
    void send(const std::string& bytes);
    // Whatever arrives within timeout_ms, up to size bytes.
    std::string receive(size_t size, int timeout_ms = 1000);
    void close_peer();

private:
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

// A loopback port on which nothing listens: connections are refused.
int refused_port();

// Connections to a listener with backlog 0 until the system drops further requests.
std::vector<int> fill_accept_queue(int port);
void close_sockets(const std::vector<int>& sockets);
bool socket_is_open(int sock);

#ifndef _WIN32
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& device_path() const { return device_path_; }
    void send(const std::string& bytes);
    std::string receive(size_t size, int timeout_ms = 1000);
    // The line speed the device side was set to, as a number of baud.
    long speed() const;

private:
    int master_ = -1;
    std::string device_path_;
};
#endif

// Blocks until fd (a socket on Windows) has bytes to read or timeout_ms passed.
bool wait_readable(int fd, int timeout_ms);

#endif
