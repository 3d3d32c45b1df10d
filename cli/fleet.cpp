#include "fleet.h"

#include "terminal.h"
#include "vyr_driver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How often the waiting thread looks for a stop signal, which cannot wake it by itself.
const auto signal_poll = std::chrono::milliseconds(20);
// An aborted driver gives up within about 100 ms; a job that takes longer is left behind.
const auto abort_grace = std::chrono::milliseconds(400);

// Shared with the workers, which an interrupted run leaves running.
struct Fleet_state
{
    std::vector<Target> targets;
    Target_job job;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Result> results;
    std::vector<bool> finished;
    std::vector<kvt::Lidar*> in_flight;
    size_t next = 0;
    size_t done = 0;
    bool stopping = false;
};

Result run_job(Fleet_state& state, size_t i, kvt::Vyr_driver& driver)
{
    Result result;
    // Whatever one target does must not cost the results of the others.
    try {
        result = state.job(state.targets[i], driver);
    } catch (const std::exception& error) {
        result = Result{};
        result.fail(exit_refused, "internal error", error.what());
    } catch (...) {
        result = Result{};
        result.fail(exit_refused, "internal error");
    }
    result.target = state.targets[i].name();
    return result;
}

void work(const std::shared_ptr<Fleet_state>& state)
{
    for (;;) {
        size_t i = 0;
        kvt::Vyr_driver driver;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->stopping || state->next == state->targets.size()) {
                return;
            }
            i = state->next++;
            state->in_flight[i] = &driver;
        }
        Result result = run_job(*state, i, driver);
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->in_flight[i] = nullptr;
            state->results[i] = std::move(result);
            state->finished[i] = true;
            ++state->done;
        }
        state->changed.notify_all();
    }
}

void report(size_t done, size_t total)
{
    std::fprintf(stderr, "\r%zu/%zu done", done, total);
    std::fflush(stderr);
}

} // namespace

Fleet_outcome run_fleet(const std::vector<Target>& targets, int jobs, const Target_job& job,
                        bool progress)
{
    auto state = std::make_shared<Fleet_state>();
    state->targets = targets;
    state->job = job;
    state->results.resize(targets.size());
    state->finished.resize(targets.size());
    state->in_flight.resize(targets.size());

    const size_t total = targets.size();
    const size_t count =
        std::min<size_t>(total, static_cast<size_t>(std::clamp(jobs, 1, max_jobs)));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i) {
        threads.emplace_back(work, state);
    }

    Fleet_outcome outcome;
    std::vector<bool> finished_before_stop;
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        size_t shown = total + 1;
        Clock::time_point give_up;
        while (state->done < total) {
            if (progress && shown != state->done) {
                report(shown = state->done, total);
            }
            if (!state->stopping && stop_signal() != 0) {
                state->stopping = true;
                finished_before_stop = state->finished;
                for (kvt::Lidar* driver : state->in_flight) {
                    if (driver) {
                        driver->request_abort();
                    }
                }
                give_up = Clock::now() + abort_grace;
            }
            if (state->stopping && Clock::now() >= give_up) {
                break;
            }
            state->changed.wait_for(lock, signal_poll);
        }
        outcome.results = state->results;
        outcome.interrupted = state->stopping;
        if (outcome.interrupted) {
            for (size_t i = 0; i < total; ++i) {
                Result& result = outcome.results[i];
                // One that finished well after all keeps its result; an abort's failure
                // is no answer from the sensor.
                if (finished_before_stop[i] || (state->finished[i] && result.exit_code == exit_ok)) {
                    continue;
                }
                const bool started = i < state->next;
                result = Result{};
                result.target = targets[i].name();
                result.fail(interrupted_exit_code(), "interrupted",
                            started ? "it had not finished" : "not started");
            }
        }
    }
    for (std::thread& thread : threads) {
        if (outcome.interrupted) {
            thread.detach();
        } else {
            thread.join();
        }
    }
    if (progress) {
        std::fprintf(stderr, "\r%*s\r", 24, "");
        std::fflush(stderr);
    }
    return outcome;
}
