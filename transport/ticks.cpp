#include "ticks.h"

#include <time.h>

namespace {

uint64_t monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint64_t process_start_ms()
{
    static const uint64_t start = monotonic_ms();
    return start;
}

// Fixes the origin while the process loads, not at the first call.
const uint64_t origin_at_load = process_start_ms();

} // namespace

int32_t vyr_ticks(void)
{
    // Unsigned difference, then truncation: wraps without signed overflow.
    return static_cast<int32_t>(static_cast<uint32_t>(monotonic_ms() - process_start_ms()));
}
