#ifndef VYR_TRANSPORT_SERIAL_DEVICE_H
#define VYR_TRANSPORT_SERIAL_DEVICE_H

#include "c_interface.h"
#include "ring_buffer.h"
#include "system_error.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

enum { VYR_SERIAL_RING_SHIFT = 7, VYR_SERIAL_RING_STORAGE = 1 << VYR_SERIAL_RING_SHIFT };

#ifdef _WIN32
// The system's file handle, kept opaque so that no system header reaches the callers.
typedef void* vyr_serial_handle;
#define VYR_SERIAL_INVALID_HANDLE ((vyr_serial_handle)(intptr_t)-1)
#else
typedef int vyr_serial_handle;
#define VYR_SERIAL_INVALID_HANDLE (-1)
#endif

typedef struct vyr_serial
{
    vyr_serial_handle handle VYR_STARTS_AS(VYR_SERIAL_INVALID_HANDLE);
    int32_t current_timeout VYR_STARTS_AS(0); // ms, as last given to the device
    ring_buffer ring;
    char ring_storage[VYR_SERIAL_RING_STORAGE];
    uint8_t has_pushed_back VYR_STARTS_AS(0);
    char pushed_back VYR_STARTS_AS(0);
    // Non-zero while the owner wants every wait to end (connection_set_abort_flag).
    const int32_t* abort_flag VYR_STARTS_AS(0);
    vyr_link_loss loss; // the device hung up or went away
} vyr_serial;

// device: a name under /dev ("ttyUSB0") or an absolute path; on Windows a port name
// ("COM3") of at most 6 characters. 0 or -1.
int32_t serial_open(vyr_serial* serial, const char* device, long baudrate);
void serial_close(vyr_serial* serial);
int32_t serial_set_baudrate(vyr_serial* serial, long baudrate);
void serial_set_read_timeout(vyr_serial* serial, int32_t timeout);
int32_t serial_write(vyr_serial* serial, const char* data, int32_t size);
int32_t serial_read(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout);
int32_t serial_readline(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout);
// As connection_readline_until.
int32_t serial_readline_until(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout,
                              int64_t end_ms);
// Drops what has arrived and not been read (held-back byte, ring, device queue) without
// waiting, at most VYR_DISCARD_LIMIT bytes. The count dropped, or -1 when closed.
int32_t serial_discard_input(vyr_serial* serial);

VYR_EXTERN_C_END

#endif
