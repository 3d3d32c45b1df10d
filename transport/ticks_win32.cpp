#include "ticks.h"

#include <windows.h>

int64_t monotonic_ms(void)
{
    static const int64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<int64_t>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const int64_t counts = static_cast<int64_t>(now.QuadPart);
    // Seconds and remainder apart, so that a long uptime does not overflow the product.
    return counts / frequency * 1000 + counts % frequency * 1000 / frequency;
}
