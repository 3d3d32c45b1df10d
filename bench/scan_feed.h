#ifndef VYR_BENCH_SCAN_FEED_H
#define VYR_BENCH_SCAN_FEED_H

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// A loopback peer that answers commands with the simulated sensor's model and,
// once a continuous scan request has been acknowledged, sends the same block of
// pre-encoded scans over and over, as fast as the socket takes them. With
// raw = true it skips the protocol and sends the block right after accepting,
// for a reader that only receives.
class Scan_feed
{
public:
    // type: 0 distance, 1 with intensity, 2 multi-echo, 3 multi-echo with intensity.
    Scan_feed(int type, bool raw);
    ~Scan_feed(); // stops sending and closes the peer
    Scan_feed(const Scan_feed&) = delete;
    Scan_feed& operator=(const Scan_feed&) = delete;

    int port() const { return port_; }
    // Average size of one scan on the wire, echo to empty line.
    double bytes_per_scan() const;
    void stop();

private:
    void serve();
    bool answer_until_scanning();
    void feed();

    int type_;
    bool raw_;
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
    std::string block_;
    int scans_in_block_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// What the simulated sensor sends to a driver that opens it over TCP ("QT", "PP") and asks
// for endless full-range scans of type: the replies up to the acknowledgement, then count
// scans one by one.
struct Scan_session
{
    std::string head;
    std::vector<std::string> scans;
};
Scan_session recorded_scan_session(int type, int count);

// Full-range scans of the given type as the simulated sensor sends them, back to back.
std::string encoded_scans(int type, int count);

#endif
