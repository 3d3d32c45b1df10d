#include "ticks.h"

// monotonic_ms comes from ticks_posix.cpp or ticks_win32.cpp.

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
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(monotonic_ms()) -
                                                      static_cast<uint64_t>(process_start_ms())));
}
