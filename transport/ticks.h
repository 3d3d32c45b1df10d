#ifndef VYR_TRANSPORT_TICKS_H
#define VYR_TRANSPORT_TICKS_H

#include "c_interface.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

// Milliseconds since the process started; wraps after about 24 days.
int32_t vyr_ticks(void);

// Milliseconds of a clock that never steps back; for deadlines within the transport.
int64_t monotonic_ms(void);

VYR_EXTERN_C_END

#endif
