#ifndef VYR_TRANSPORT_SERIAL_IO_H
#define VYR_TRANSPORT_SERIAL_IO_H

// The device calls under the serial device, one file per platform (serial_io_posix.cpp,
// serial_io_win32.cpp); internal to transport/ (C++ only). A failed open records its
// reason as an errno value.

#include "serial_device.h"

#include <stdint.h>

namespace serial_io {

#ifdef _WIN32
// "\\.\" and the at most 6 characters of a listed name.
constexpr int path_size = 11;
#else
// Long enough for every name the port list gives and for short absolute paths.
constexpr int path_size = 64;
#endif

// False when the name does not fit.
bool make_device_path(char (&path)[path_size], const char* name);
// VYR_SERIAL_INVALID_HANDLE on failure; opened for this process alone, raw, 8N1.
vyr_serial_handle open_device(const char* path);
void close_device(vyr_serial_handle handle);
// Failures are not reported; the port keeps its previous settings.
void apply_line_settings(vyr_serial_handle handle, long baudrate);
// The time-out the following reads with timeout_ms obey.
void set_device_timeout(vyr_serial_handle handle, int32_t timeout_ms);
// Time-out 0: what the device holds now. Otherwise: all size bytes, or whatever came when
// timeout_ms have passed in all. A negative time-out is an unsigned count of ms.
// gone (may be null) gets the errno value of a device that hung up or went away, else 0.
int32_t read_device(vyr_serial_handle handle, char* buffer, int32_t size, int32_t timeout_ms,
                    int32_t* gone = nullptr);
// The device keeps no write time-out of its own, and a port whose other side never reads
// would hold the caller for good: what is not written by then counts as not sent.
constexpr int32_t write_limit_ms = 2000;
// Everything written, or the count that went out before the limit or an error.
int32_t write_device(vyr_serial_handle handle, const char* data, int32_t size,
                     int32_t* gone = nullptr);

} // namespace serial_io

#endif
