#ifndef VYR_SENSOR_VIEW_SCAN_WORKER_H
#define VYR_SENSOR_VIEW_SCAN_WORKER_H

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "lidar.h"
#include "scan_csv.h"

// Runs one continuous measurement on a thread of its own, which alone uses the
// driver from start() until the thread is joined. Only the newest scan is kept
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
    // yet, and once when the loop has ended (stopped, or a failed start or read).
    void start(kvt::Lidar::measurement_type type, std::function<void()> notify);
    // Asks the loop to end without waiting: a read blocked on the sensor gives up at
    // once, then the thread stops the sensor's output ("QT") and announces its end.
    void request_stop();
    // Ends the loop and joins the thread within about stop_bound_ms whatever the
    // sensor does: a stop the sensor leaves unconfirmed that long is cut short.
    void stop();
    // Gives up on the sensor's confirmation of a stop under way: its wait ends at once.
    void cut_short();
    // Joins a thread that announced its end; true when there was one to join.
    bool join_if_ended();
    bool running() const { return thread_.joinable(); }
    bool stopping() const { return stopping_; }

    // Swaps the newest scan not taken yet into record; false when there is none.
    bool take(kvt::Scan_record& record);
    long scans_read() const { return scans_read_; }
    // True once the loop has ended; error() then says why when it ended on its own.
    bool ended() const { return ended_; }
    std::string error() const;
    // Whether the sensor confirmed the end of its output when the loop ended.
    bool stop_confirmed() const { return stop_confirmed_; }
    // Why it did not, as the driver put it.
    std::string stop_failure() const;

    static constexpr int stop_bound_ms = 1700;

private:
    void run(kvt::Lidar::measurement_type type);

    kvt::Lidar& lidar_;
    std::function<void()> notify_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> stop_confirmed_{true};
    std::atomic<long> scans_read_{0};

    mutable std::mutex mutex_; // guards the fields below
    std::condition_variable end_;
    kvt::Scan_record pending_;
    bool fresh_ = false;
    bool announced_ = false;
    // Set once the stop is cut short; the thread then must not clear the abort.
    bool cut_short_ = false;
    bool stopping_sensor_ = false; // the thread has gone on to stop the sensor
    std::string error_;
    std::string stop_failure_;
};

#endif
