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

// Set when a read or write of one link found the other side gone (closed, reset, hung up,
// removed), until the link is opened again. Written by the thread that uses the link and
// read atomically, so another thread may ask.
typedef struct vyr_link_loss
{
    int32_t number VYR_STARTS_AS(0); // errno value; 0 while the link is not known lost
    const char* call VYR_STARTS_AS(0);
} vyr_link_loss;

// The first loss stays; it is also recorded as this thread's system error.
void vyr_record_link_loss(vyr_link_loss* loss, const char* call, int32_t number);
void vyr_clear_link_loss(vyr_link_loss* loss);
// Number 0 and call "" while the link is not lost.
vyr_system_error vyr_link_loss_reason(const vyr_link_loss* loss);
void vyr_clear_system_error(void);
vyr_system_error vyr_last_system_error(void);

VYR_EXTERN_C_END

#endif
