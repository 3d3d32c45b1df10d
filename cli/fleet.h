#ifndef VYR_CLI_FLEET_H
#define VYR_CLI_FLEET_H

// One subcommand over many sensors: each target on its own thread with its own driver,
// at most `jobs` at a time, results in the order the targets were given.

#include "result.h"
#include "targets.h"

#include <functional>
#include <vector>

constexpr int max_jobs = 16;

using Target_job = std::function<Result(const Target&)>;

// progress: a "done/total" count on standard error while the run goes on.
std::vector<Result> run_fleet(const std::vector<Target>& targets, int jobs, const Target_job& job,
                              bool progress);

#endif
