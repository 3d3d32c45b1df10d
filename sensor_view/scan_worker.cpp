#include "scan_worker.h"

#include <chrono>
#include <exception>
#include <utility>

// What the loop and the window share. The loop's job holds it as long as it runs, so
// the window may go before the job has ended.
struct Scan_worker::Run
{
    explicit Run(kvt::Lidar& driver) : lidar(driver) {}

    kvt::Lidar& lidar;
    std::mutex mutex; // guards the fields below
    std::condition_variable end;
    std::function<void()> notify; // emptied once the window lets go
    kvt::Scan_record pending;
    bool fresh = false;
    bool announced = false;
    bool area_fresh = false;
    double first_deg = 0, last_deg = 0;
    long min_distance = 0, max_distance = 0;
    long scans_read = 0;
    // The loop works on the sensor: only from now until ended may an abort hit it rather
    // than somebody else's exchange.
    bool started = false;
    bool stopping = false;
    bool stopping_sensor = false; // the loop has gone on to stop the sensor
    bool cut_short = false;       // then the loop must not clear the abort
    bool keep_abort = false;
    bool ended = false;
    bool not_connected = false;
    bool confirmed = true;
    std::string error;
    std::string stop_failure;

    // Under mutex.
    void announce()
    {
        if (!announced && notify) {
            announced = true;
            notify();
        }
    }
};

Scan_worker::Scan_worker(std::shared_ptr<Driver_owner> owner) : owner_(std::move(owner)) {}

Scan_worker::~Scan_worker()
{
    if (!run_) {
        return;
    }
    request_stop();
    std::unique_lock<std::mutex> lock(run_->mutex);
    const auto ended = [this] { return run_->ended; };
    if (running_ &&
        !run_->end.wait_for(lock, std::chrono::milliseconds(stop_bound_ms - 200), ended)) {
        // The sensor neither confirms nor lets go: give up on its "QT" reply.
        run_->cut_short = true;
        if (run_->started) {
            run_->lidar.request_abort();
        }
        run_->end.wait_for(lock, std::chrono::milliseconds(200), ended);
    }
    run_->notify = nullptr;
}

void Scan_worker::start(kvt::Lidar::measurement_type type, QObject* context,
                        std::function<void()> notify, std::function<void()> ended,
                        std::shared_ptr<Scan_sink> sink)
{
    if (running_) {
        return;
    }
    auto run = std::make_shared<Run>(owner_->driver());
    run->notify = std::move(notify);
    run_ = run;
    running_ = true;
    owner_->post(
        context,
        [run, type, sink = std::move(sink)](kvt::Lidar& lidar) {
            try {
                loop(*run, lidar, type, sink.get());
            } catch (const std::exception& failure) {
                // Out of memory for a scan, say: the window must still learn that it ended.
                std::lock_guard<std::mutex> lock(run->mutex);
                run->error = failure.what();
                run->ended = true;
                run->end.notify_all();
            }
        },
        [this, run, ended = std::move(ended)] {
            if (run_ == run) {
                running_ = false;
            }
            ended();
        });
}

void Scan_worker::request_stop()
{
    if (!running_) {
        return;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    if (run_->stopping || run_->ended) {
        return;
    }
    run_->stopping = true;
    // Once the loop is stopping the sensor, an abort would only cut its "QT" short.
    if (run_->started && !run_->stopping_sensor) {
        run_->lidar.request_abort();
    }
}

void Scan_worker::cut_short()
{
    if (!running_) {
        return;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    if (run_->stopping && !run_->ended) {
        run_->cut_short = true;
        if (run_->started) {
            run_->lidar.request_abort();
        }
    }
}

void Scan_worker::leave_abort_if_unconfirmed()
{
    if (running_) {
        std::lock_guard<std::mutex> lock(run_->mutex);
        run_->keep_abort = true;
    }
}

bool Scan_worker::stopping() const
{
    if (!running_) {
        return false;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->stopping;
}

bool Scan_worker::take(kvt::Scan_record& record)
{
    if (!run_) {
        return false;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    run_->announced = false;
    if (!run_->fresh) {
        return false;
    }
    std::swap(record, run_->pending);
    run_->fresh = false;
    return true;
}

bool Scan_worker::take_area(double& first_deg, double& last_deg, long& min_distance,
                            long& max_distance)
{
    if (!run_) {
        return false;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    if (!run_->area_fresh) {
        return false;
    }
    run_->area_fresh = false;
    first_deg = run_->first_deg;
    last_deg = run_->last_deg;
    min_distance = run_->min_distance;
    max_distance = run_->max_distance;
    return true;
}

long Scan_worker::scans_read() const
{
    if (!run_) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->scans_read;
}

std::string Scan_worker::error() const
{
    if (!run_) {
        return std::string();
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->error;
}

bool Scan_worker::not_connected() const
{
    if (!run_) {
        return false;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->not_connected;
}

bool Scan_worker::stop_confirmed() const
{
    if (!run_) {
        return true;
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->confirmed;
}

std::string Scan_worker::stop_failure() const
{
    if (!run_) {
        return std::string();
    }
    std::lock_guard<std::mutex> lock(run_->mutex);
    return run_->stop_failure;
}

namespace {

// What the user reads: the driver's text, then what it met, when it knows.
std::string failure_with_detail(kvt::Lidar& lidar)
{
    std::string text = lidar.last_error_text();
    const std::string detail = lidar.last_error_detail();
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    return text;
}

} // namespace

void Scan_worker::loop(Run& run, kvt::Lidar& lidar, kvt::Lidar::measurement_type type,
                       Scan_sink* sink)
{
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        // Asked to end before its turn came, or nothing to measure on: the sensor was
        // never started, so there is nothing to stop either.
        run.not_connected = !run.stopping && !lidar.is_open();
        if (run.stopping || run.not_connected) {
            run.ended = true;
            run.end.notify_all();
            return;
        }
        run.started = true;
        run.first_deg = lidar.step_to_deg(lidar.min_step());
        run.last_deg = lidar.step_to_deg(lidar.max_step());
        run.min_distance = lidar.min_distance();
        run.max_distance = lidar.max_distance();
        run.area_fresh = true;
        run.announce();
    }
    if (sink) {
        sink->measurement_starting(lidar, type);
    }
    std::string failure;
    if (!lidar.start_scans(type, 0, 0)) {
        failure = failure_with_detail(lidar);
    }
    // The record being filled; it trades places with the pending one, so the
    // buffers of dropped scans are filled again instead of growing in number.
    kvt::Scan_record work;
    bool stopping = false;
    for (long number = 0; failure.empty(); ++number) {
        {
            std::lock_guard<std::mutex> lock(run.mutex);
            stopping = run.stopping;
        }
        if (stopping) {
            break;
        }
        if (!kvt::read_scan_record(lidar, type, work)) {
            failure = failure_with_detail(lidar);
            break;
        }
        work.number = number;
        if (sink) {
            sink->scan_read(work);
        }
        std::lock_guard<std::mutex> lock(run.mutex);
        std::swap(work, run.pending);
        run.fresh = true;
        run.scans_read = number + 1;
        run.announce();
    }
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        // A read that failed because we asked it to is no failure of the sensor.
        if (run.stopping) {
            failure.clear();
        }
        if (!run.cut_short) {
            lidar.clear_abort(); // the "QT" needs a link that works again
        }
        run.stopping_sensor = true;
    }
    lidar.stop_scans();
    const bool confirmed = lidar.last_error() == kvt::Error::none;
    std::lock_guard<std::mutex> lock(run.mutex);
    run.error = failure;
    if (!confirmed) {
        run.stop_failure = failure_with_detail(lidar);
    }
    run.confirmed = confirmed;
    if (confirmed || !run.keep_abort) {
        lidar.clear_abort(); // the next job finds a link that waits again
    } else {
        lidar.request_abort();
    }
    run.ended = true;
    run.end.notify_all();
}
