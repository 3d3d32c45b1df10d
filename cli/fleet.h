#ifndef VYR_CLI_FLEET_H
#define VYR_CLI_FLEET_H

// One subcommand over many sensors: each target on its own thread with its own driver,
// at most `jobs` at a time, results in the order the targets were given.

#include "result.h"
#include "targets.h"

#include <functional>
#include <vector>

namespace kvt {
class Vyr_driver;
}

constexpr int max_jobs = 16;

// Runs on the driver the fleet made for the target (still closed).
using Target_job = std::function<Result(const Target&, kvt::Vyr_driver&)>;

struct Fleet_outcome
{
    std::vector<Result> results;
    // A stop signal came first: the drivers in flight were aborted and the targets that
    // did not finish are marked. Threads may still be running; the caller must end the
    // process once it has printed the results, without returning.
    bool interrupted = false;
};

// progress: a "done/total" count on standard error while the run goes on.
// catch_stop_signals() must be in force for a signal to interrupt the run.
Fleet_outcome run_fleet(const std::vector<Target>& targets, int jobs, const Target_job& job,
                        bool progress);

#endif
