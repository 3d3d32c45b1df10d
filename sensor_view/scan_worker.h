#ifndef VYR_SENSOR_VIEW_SCAN_WORKER_H
#define VYR_SENSOR_VIEW_SCAN_WORKER_H

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "driver_owner.h"
#include "lidar.h"
#include "scan_csv.h"

// Runs one continuous measurement as one long job on the driver owner's thread, so that
// exchanges posted after it (a close among them) wait for its end and the sensor's
// output has been stopped ("QT") before they start. Only the newest scan is kept for
// the taker; older ones it did not take are dropped, so memory stays flat however fast
// scans arrive. Nothing here waits on the sensor except the destructor.
//
// A sink sees every scan the loop reads, dropped ones included, on the owner's thread.
class Scan_sink
{
public:
    virtual ~Scan_sink() = default;
    // Before the sensor is asked for scans: the last moment an exchange may go out.
    virtual void measurement_starting(kvt::Lidar& lidar, kvt::Lidar::measurement_type type) = 0;
    // Must not talk to the sensor; the loop reads on after it returns.
    virtual void scan_read(const kvt::Scan_record& scan) = 0;
};

class Scan_worker
{
public:
    explicit Scan_worker(std::shared_ptr<Driver_owner> owner);
    // Asks the loop to end and waits for it within about stop_bound_ms whatever the
    // sensor does; the job lets go of this object at once either way.
    ~Scan_worker();
    Scan_worker(const Scan_worker&) = delete;
    Scan_worker& operator=(const Scan_worker&) = delete;

    // notify runs on the owner's thread when a scan (or the sensor's area) waits that
    // was not announced yet; ended runs on context's thread once the loop has ended
    // (stopped, or a failed start or read), unless context is gone by then. sink, when
    // given, is held until the loop has ended.
    void start(kvt::Lidar::measurement_type type, QObject* context, std::function<void()> notify,
               std::function<void()> ended, std::shared_ptr<Scan_sink> sink = nullptr);
    // Asks the loop to end without waiting: a read blocked on the sensor gives up at
    // once, then the loop stops the sensor's output ("QT") and ends.
    void request_stop();
    // Gives up on the sensor's confirmation of a stop under way: its wait ends at once.
    void cut_short();
    // A close follows the stop: a sensor that leaves the stop unconfirmed is not to be
    // waited for once more, so the driver is left refusing to wait.
    void leave_abort_if_unconfirmed();
    // Posted, and its end not delivered yet.
    bool running() const { return running_; }
    bool stopping() const;

    // Swaps the newest scan not taken yet into record; false when there is none.
    bool take(kvt::Scan_record& record);
    // The sensor's measurable area, once the loop has read it; false before, or when it
    // was taken already.
    bool take_area(double& first_deg, double& last_deg, long& min_distance, long& max_distance);
    long scans_read() const;
    // Why the loop ended on its own (empty when stopped).
    std::string error() const;
    // The driver was not open when the loop began.
    bool not_connected() const;
    // Whether the sensor confirmed the end of its output when the loop ended.
    bool stop_confirmed() const;
    // Why it did not, as the driver put it.
    std::string stop_failure() const;

    static constexpr int stop_bound_ms = 1700;

private:
    struct Run;
    static void loop(Run& run, kvt::Lidar& lidar, kvt::Lidar::measurement_type type,
                     Scan_sink* sink);

    std::shared_ptr<Driver_owner> owner_;
    std::shared_ptr<Run> run_;
    bool running_ = false;
};

#endif
