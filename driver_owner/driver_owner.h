#ifndef VYR_DRIVER_OWNER_DRIVER_OWNER_H
#define VYR_DRIVER_OWNER_DRIVER_OWNER_H

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include "lidar.h"

// The one user of a driver in the window. Every exchange with the sensor runs on the
// owner's thread, one job after another in the order posted, so no widget ever waits for
// a sensor and no two exchanges overlap. A job's answer comes back queued on the thread of
// the object that posted it, the way a signal would.
class Driver_owner : public QObject
{
    Q_OBJECT

public:
    // The owner of driver: one for as long as anybody holds it, shared by all who ask.
    // Must be asked on the GUI thread, and the driver must outlive every holder.
    static std::shared_ptr<Driver_owner> of(kvt::Lidar& driver);
    // Runs the jobs posted before, then ends the thread.
    ~Driver_owner() override;
    Driver_owner(const Driver_owner&) = delete;
    Driver_owner& operator=(const Driver_owner&) = delete;

    kvt::Lidar& driver() const { return driver_; }

    // Runs job(driver) on the owner's thread, then done(result) -- or done() for a job that
    // returns nothing -- on context's thread, unless context is gone by then. A job that
    // throws gives no answer; the jobs after it still run.
    template <class Job, class Done>
    void post(QObject* context, Job job, Done done);
    template <class Job>
    void post(QObject* context, Job job)
    {
        post(context, std::move(job), [](auto&&...) {});
    }

    // A job is waiting or running, or its answer has not been delivered yet.
    bool busy() const { return pending_ > 0; }
    // Waits at most bound_ms for the jobs posted so far to end; true when they did.
    bool wait_idle(int bound_ms);

signals:
    // busy() changed; sent on the GUI thread after the answer that ended the work.
    void busy_changed(bool busy);

private:
    explicit Driver_owner(kvt::Lidar& driver);

    // work runs on the owner's thread and returns what is to run on context's thread.
    void submit(QObject* context, std::function<std::function<void()>()> work);
    void run();

    kvt::Lidar& driver_;
    std::atomic<int> pending_{0};

    std::mutex mutex_; // guards the fields below
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool running_job_ = false;
    bool quitting_ = false;
    std::thread thread_;
};

template <class Job, class Done>
void Driver_owner::post(QObject* context, Job job, Done done)
{
    submit(context, [this, job = std::move(job), done = std::move(done)]() mutable
           -> std::function<void()> {
        using Result = decltype(job(driver_));
        if constexpr (std::is_void_v<Result>) {
            job(driver_);
            return [done]() mutable { done(); };
        } else {
            Result result = job(driver_);
            return [done, result = std::move(result)]() mutable { done(std::move(result)); };
        }
    });
}

#endif
