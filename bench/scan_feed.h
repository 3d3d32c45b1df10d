#ifndef VYR_BENCH_SCAN_FEED_H
#define VYR_BENCH_SCAN_FEED_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback peer that answers commands with the simulated sensor's model and,
// once a continuous scan request has been acknowledged, sends the same block of
// pre-encoded scans over and over, as fast as the socket takes them. With
// raw = true it skips the protocol and sends the block right after accepting,
// for a reader that only receives. With scans_once > 0 the block holds that many
// scans and goes out once, for a reader that wants all its input queued up front.
class Scan_feed
{
public:
    // type: 0 distance, 1 with intensity, 2 multi-echo, 3 multi-echo with intensity.
    Scan_feed(int type, bool raw, int scans_once = 0);
    ~Scan_feed(); // stops sending and closes the peer
    Scan_feed(const Scan_feed&) = delete;
    Scan_feed& operator=(const Scan_feed&) = delete;

    int port() const { return port_; }
    // Average size of one scan on the wire, echo to empty line.
    double bytes_per_scan() const;
    // Bytes of the block's scans from the index first on.
    size_t bytes_of_scans_from(int first) const;
    // True once the block has gone out whole (scans_once), false after limit.
    bool wait_fed(std::chrono::milliseconds limit);
    void stop();

private:
    void serve();
    bool answer_until_scanning();
    void feed();
    void feed_once();

    int type_;
    bool raw_;
    bool once_;
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
    std::string block_;
    std::vector<size_t> scan_sizes_;
    std::atomic<bool> stopping_{false};
    std::mutex fed_mutex_;
    std::condition_variable fed_changed_;
    bool fed_ = false;
    std::thread thread_;
};

#endif
