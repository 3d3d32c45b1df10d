#include "scan_worker.h"

#include <chrono>
#include <utility>

Scan_worker::Scan_worker(kvt::Lidar& lidar) : lidar_(lidar) {}

Scan_worker::~Scan_worker()
{
    stop();
}

void Scan_worker::start(kvt::Lidar::measurement_type type, std::function<void()> notify)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fresh_ = false;
        announced_ = false;
        cut_short_ = false;
        stopping_sensor_ = false;
        error_.clear();
        stop_failure_.clear();
    }
    notify_ = std::move(notify);
    stopping_ = false;
    ended_ = false;
    stop_confirmed_ = true;
    scans_read_ = 0;
    thread_ = std::thread([this, type] { run(type); });
}

void Scan_worker::request_stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable() || stopping_.exchange(true)) {
        return;
    }
    // Once the thread is stopping the sensor, an abort would only cut its "QT" short.
    if (!stopping_sensor_) {
        lidar_.request_abort();
    }
}

void Scan_worker::stop()
{
    if (!thread_.joinable()) {
        return;
    }
    request_stop();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(stop_bound_ms - 200);
        if (!end_.wait_until(lock, deadline, [this] { return ended_.load(); })) {
            // The sensor neither confirms nor lets go: give up on its "QT" reply.
            cut_short_ = true;
            lidar_.request_abort();
        }
    }
    thread_.join();
    lidar_.clear_abort();
}

void Scan_worker::cut_short()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable() && stopping_ && !ended_) {
        cut_short_ = true;
        lidar_.request_abort();
    }
}

bool Scan_worker::join_if_ended()
{
    if (!thread_.joinable() || !ended_) {
        return false;
    }
    thread_.join();
    lidar_.clear_abort();
    return true;
}

bool Scan_worker::take(kvt::Scan_record& record)
{
    std::lock_guard<std::mutex> lock(mutex_);
    announced_ = false;
    if (!fresh_) {
        return false;
    }
    std::swap(record, pending_);
    fresh_ = false;
    return true;
}

std::string Scan_worker::error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

std::string Scan_worker::stop_failure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_failure_;
}

void Scan_worker::run(kvt::Lidar::measurement_type type)
{
    std::string failure;
    if (!lidar_.start_scans(type, 0, 0)) {
        failure = lidar_.last_error_text();
    }
    // The record being filled; it trades places with the pending one, so the
    // buffers of dropped scans are filled again instead of growing in number.
    kvt::Scan_record work;
    for (long number = 0; failure.empty() && !stopping_; ++number) {
        if (!kvt::read_scan_record(lidar_, type, work)) {
            failure = lidar_.last_error_text();
            break;
        }
        work.number = number;
        bool announce = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::swap(work, pending_);
            fresh_ = true;
            announce = !announced_;
            announced_ = true;
        }
        scans_read_ = number + 1;
        if (announce) {
            notify_();
        }
    }
    // A read that failed because we asked it to is no failure of the sensor.
    if (stopping_) {
        failure.clear();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!cut_short_) {
            lidar_.clear_abort(); // the "QT" needs a link that works again
        }
        stopping_sensor_ = true;
    }
    lidar_.stop_scans();
    const bool confirmed = lidar_.last_error() == kvt::Error::none;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = failure;
        if (!confirmed) {
            stop_failure_ = lidar_.last_error_text();
            const std::string detail = lidar_.last_error_detail();
            if (!detail.empty()) {
                stop_failure_ += " (" + detail + ")";
            }
        }
        stop_confirmed_ = confirmed;
        ended_ = true;
    }
    end_.notify_all();
    notify_();
}
