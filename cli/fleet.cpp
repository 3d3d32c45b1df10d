#include "fleet.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

std::vector<Result> run_fleet(const std::vector<Target>& targets, int jobs, const Target_job& job,
                              bool progress)
{
    std::vector<Result> results(targets.size());
    std::atomic<size_t> next{0};
    std::mutex progress_mutex;
    size_t done = 0;

    auto report = [&](size_t finished) {
        std::fprintf(stderr, "\r%zu/%zu done", finished, targets.size());
        std::fflush(stderr);
    };
    auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < targets.size();) {
            results[i] = job(targets[i]);
            results[i].target = targets[i].name();
            if (progress) {
                std::lock_guard<std::mutex> lock(progress_mutex);
                report(++done);
            }
        }
    };

    if (progress) {
        report(0);
    }
    const size_t count = std::min<size_t>(targets.size(), static_cast<size_t>(std::clamp(jobs, 1, max_jobs)));
    if (count <= 1) {
        worker();
    } else {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i) {
            threads.emplace_back(worker);
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    if (progress) {
        std::fprintf(stderr, "\r%*s\r", 24, "");
        std::fflush(stderr);
    }
    return results;
}
