#ifndef VYR_TRANSPORT_C_INTERFACE_H
#define VYR_TRANSPORT_C_INTERFACE_H

// Shared by the transport headers so that C and C++ callers see the same records.

#include <stdint.h>

#ifdef __cplusplus
#define VYR_EXTERN_C_BEGIN extern "C" {
#define VYR_EXTERN_C_END }
// A zero-filled record would name descriptor 0 (stdin) as its open device, so C++
// users get records that start closed.
#define VYR_STARTS_AS(value) = value
#else
#define VYR_EXTERN_C_BEGIN
#define VYR_EXTERN_C_END
#define VYR_STARTS_AS(value)
#endif

// Most bytes one discard of unread input drops: a device that never stops talking
// must not hold the caller.
enum { VYR_DISCARD_LIMIT = 65536 };

// Longest single wait while an abort flag is watched.
enum { VYR_ABORT_CHECK_MS = 50 };

#ifdef __cplusplus
// Lock-free, so the flag may be raised by a signal handler.
inline bool vyr_abort_raised(const int32_t* flag)
{
    return flag != nullptr && __atomic_load_n(flag, __ATOMIC_RELAXED) != 0;
}
#endif

#endif
