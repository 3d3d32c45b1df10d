#include "ticks.h"

#include <time.h>

int64_t monotonic_ms(void)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

namespace {

int64_t process_start_ms()
{
    static const int64_t start = monotonic_ms();
    return start;
}

// Fixes the origin while the process loads, not at the first call.
const int64_t origin_at_load = process_start_ms();

} // namespace

int32_t vyr_ticks(void)
{
    // Unsigned difference, then truncation: wraps without signed overflow.
    return static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<uint64_t>(monotonic_ms()) - static_cast<uint64_t>(process_start_ms())));
}
