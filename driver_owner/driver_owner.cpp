#include "driver_owner.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <map>

namespace {

std::mutex registry_mutex;
std::map<const kvt::Lidar*, std::weak_ptr<Driver_owner>>& registry()
{
    static std::map<const kvt::Lidar*, std::weak_ptr<Driver_owner>> owners;
    return owners;
}

} // namespace

std::shared_ptr<Driver_owner> Driver_owner::of(kvt::Lidar& driver)
{
    std::lock_guard<std::mutex> lock(registry_mutex);
    std::weak_ptr<Driver_owner>& entry = registry()[&driver];
    std::shared_ptr<Driver_owner> owner = entry.lock();
    if (!owner) {
        owner.reset(new Driver_owner(driver));
        entry = owner;
    }
    return owner;
}

Driver_owner::Driver_owner(kvt::Lidar& driver) : driver_(driver)
{
    thread_ = std::thread([this] { run(); });
}

Driver_owner::~Driver_owner()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    thread_.join();
    std::lock_guard<std::mutex> lock(registry_mutex);
    auto entry = registry().find(&driver_);
    // A new owner may already stand in the entry once this one's count reached zero.
    if (entry != registry().end() && entry->second.expired()) {
        registry().erase(entry);
    }
}

bool Driver_owner::wait_idle(int bound_ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(bound_ms),
                             [this] { return jobs_.empty() && !running_job_; });
}

void Driver_owner::submit(QObject* context, std::function<std::function<void()>()> work)
{
    if (pending_++ == 0) {
        emit busy_changed(true);
    }
    QPointer<QObject> target(context);
    auto job = [this, target, work = std::move(work)] {
        std::function<void()> answer;
        try {
            answer = work();
        } catch (...) {
            // No answer to give, but the work is over: the window must not stay busy for good,
            // nor the thread end under the jobs still waiting.
        }
        QMetaObject::invokeMethod(
            this,
            [this, target, answer = std::move(answer)] {
                const bool last = --pending_ == 0;
                if (target && answer) {
                    answer();
                }
                if (last && pending_ == 0) {
                    emit busy_changed(false);
                }
            },
            Qt::QueuedConnection);
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void Driver_owner::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quitting_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return; // quitting, and nothing left that was asked for
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_job_ = true;
        lock.unlock();
        job();
        lock.lock();
        running_job_ = false;
        changed_.notify_all();
    }
}
