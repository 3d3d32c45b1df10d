#include "scan_worker.h"

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
        error_.clear();
    }
    notify_ = std::move(notify);
    stopping_ = false;
    ended_ = false;
    scans_read_ = 0;
    thread_ = std::thread([this, type] { run(type); });
}

void Scan_worker::stop()
{
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
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
    lidar_.stop_scans();
    if (!failure.empty()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = failure;
        }
        ended_ = true;
        notify_();
    }
}
