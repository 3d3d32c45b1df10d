#ifndef VYR_TRANSPORT_SYSTEM_ERROR_H
#define VYR_TRANSPORT_SYSTEM_ERROR_H

// Why the last open or send on this thread failed, as the system said it: the error number
// and the call that gave it. Kept beside the driver's own error texts so that a
// caller can name the reason without those texts changing.

#include "c_interface.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

typedef struct vyr_system_error
{
    int32_t number;   // errno value; 0 when nothing was recorded
    const char* call; // static text such as "open" or "connect"; "" when nothing was recorded
} vyr_system_error;

void vyr_record_system_error(const char* call, int32_t number);
void vyr_clear_system_error(void);
vyr_system_error vyr_last_system_error(void);

VYR_EXTERN_C_END

#endif
