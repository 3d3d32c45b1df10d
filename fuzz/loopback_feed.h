#ifndef VYR_FUZZ_LOOPBACK_FEED_H
#define VYR_FUZZ_LOOPBACK_FEED_H
// A loopback listener that plays a device: for each connection it writes one
// prepared byte string, shuts down its write side so that the host's reads end
// at once, and swallows whatever the host sends until the host closes.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Loopback_feed
{
public:
    Loopback_feed(); // listens on 127.0.0.1, port chosen by the system
    ~Loopback_feed();
    Loopback_feed(const Loopback_feed&) = delete;
    Loopback_feed& operator=(const Loopback_feed&) = delete;

    int port() const { return port_; }

    // Arms the next connection with bytes. Call before the host connects.
    void serve(std::string bytes);
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
    std::string bytes_;
    bool armed_ = false;
    bool host_done_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

#endif
