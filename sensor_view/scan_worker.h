#ifndef VYR_SENSOR_VIEW_SCAN_WORKER_H
#define VYR_SENSOR_VIEW_SCAN_WORKER_H

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "lidar.h"
#include "scan_csv.h"

// Runs one continuous measurement on a thread of its own, which alone uses the
// driver from start() until stop() has returned. Only the newest scan is kept
// for the taker; older ones it did not take are dropped, so memory stays flat
// however fast scans arrive.
class Scan_worker
{
public:
    explicit Scan_worker(kvt::Lidar& lidar);
    ~Scan_worker(); // stops
    Scan_worker(const Scan_worker&) = delete;
    Scan_worker& operator=(const Scan_worker&) = delete;

    // notify runs on the worker thread when a scan waits that was not announced
    // yet, and once when the loop ends on its own (a failed start or read).
    void start(kvt::Lidar::measurement_type type, std::function<void()> notify);
    // Ends the loop, which stops the sensor's output ("QT"), and joins the thread.
    void stop();
    bool running() const { return thread_.joinable(); }

    // Swaps the newest scan not taken yet into record; false when there is none.
    bool take(kvt::Scan_record& record);
    long scans_read() const { return scans_read_; }
    // True once the loop ended on its own; error() then says why.
    bool ended() const { return ended_; }
    std::string error() const;

private:
    void run(kvt::Lidar::measurement_type type);

    kvt::Lidar& lidar_;
    std::function<void()> notify_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::atomic<long> scans_read_{0};

    mutable std::mutex mutex_; // guards the fields below
    kvt::Scan_record pending_;
    bool fresh_ = false;
    bool announced_ = false;
    std::string error_;
};

#endif
