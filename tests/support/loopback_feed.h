#ifndef VYR_TESTS_SUPPORT_LOOPBACK_FEED_H
#define VYR_TESTS_SUPPORT_LOOPBACK_FEED_H
// A loopback listener that plays a device: for each connection it answers the
// host's command lines with prepared parts, shuts down its write side once all
// are out so that the host's reads end at once, and swallows whatever the host
// sends until it closes. A part goes out only after a command, as a device's
// reply would: a host that drops stray input before sending must not lose it.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct Feed_part
{
    Feed_part(std::string bytes_ = {}, std::string after_command_ = {})
        : bytes(std::move(bytes_)), after_command(std::move(after_command_))
    {
    }

    std::string bytes;
    // Empty: sent after the host's next line. Otherwise sent after a line that
    // starts with this, passing over the parts before it that are not out yet.
    std::string after_command;
    // Empty: sent at once. Otherwise in turns, each byte p of it sending 1 + p / 32
    // bytes and then pausing p % 32 ms, until the pauses add up to max_pause_ms.
    std::string pacing;
    int max_pause_ms = 0;
};

// bytes cut after each empty line (the end of a reply), into at most max_parts
// parts each sent after the host's next line; the last part holds the rest.
std::vector<Feed_part> replies_per_line(const std::string& bytes, size_t max_parts = 1 << 20);

class Loopback_feed
{
public:
    Loopback_feed(); // listens on 127.0.0.1, port chosen by the system
    ~Loopback_feed();
    Loopback_feed(const Loopback_feed&) = delete;
    Loopback_feed& operator=(const Loopback_feed&) = delete;

    int port() const { return port_; }

    // Arms the next connection with parts. Call before the host connects.
    void serve(std::vector<Feed_part> parts);
    // Waits (at most timeout_ms) until every line the host sent so far is
    // answered, as a device would have done before the user's next command.
    bool wait_answered(int timeout_ms);
    // Call after the host has closed its side: waits until the connection
    // (if one came) is finished, so no descriptor outlives the input.
    void finish();

private:
    void run();
    void play(int client);

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Feed_part> parts_;
    bool armed_ = false;
    bool host_done_ = false;
    bool stopping_ = false;
    int client_ = -1;       // the connection being played, under mutex_
    bool answering_ = false; // a batch of host input is being answered
    std::thread thread_;
};

#endif
