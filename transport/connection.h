#ifndef VYR_TRANSPORT_CONNECTION_H
#define VYR_TRANSPORT_CONNECTION_H

#include "c_interface.h"
#include "serial_device.h"
#include "tcp_client.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

enum { VYR_SERIAL = 0, VYR_ETHERNET = 1 };

// One link to a sensor. Both sub-records are always present; only the one named by
// type is used after an open.
typedef struct vyr_connection
{
    int32_t type VYR_STARTS_AS(VYR_SERIAL);
    vyr_serial serial;
    vyr_tcpclient tcpclient;
} vyr_connection;

// device: serial port name, or IPv4 address / "localhost"; baudrate: baud rate, or TCP port.
// 0 on success; -1 on failure; -2 when a TCP connection attempt timed out.
int32_t connection_open(vyr_connection* connection, int32_t type, const char* device,
                        long baudrate);
void connection_close(vyr_connection* connection);
// flag (may be null): while *flag is non-zero, reads and the TCP connect stop waiting within
// VYR_ABORT_CHECK_MS; its owner sets it atomically (a signal handler may). Kept across opens.
void connection_set_abort_flag(vyr_connection* connection, const int32_t* flag);
// Why the open link was lost (the peer closed it, the device went away): the errno value
// and the call that found it; number 0 while it is not known lost. Any thread may ask.
vyr_system_error connection_lost(const vyr_connection* connection);
// Also done by every open.
void connection_clear_lost(vyr_connection* connection);
// Always 0 on an Ethernet link.
int32_t connection_set_baudrate(vyr_connection* connection, long baudrate);
int32_t connection_write(vyr_connection* connection, const char* data, int32_t size);
// Bytes placed in buffer (not NUL-terminated), or negative when the link cannot be read.
int32_t connection_read(vyr_connection* connection, char* buffer, int32_t size, int32_t timeout);
// One line up to CR or LF, terminator dropped, NUL-terminated. Its length, 0 for an empty
// line, -1 when nothing arrived in time. A line that fills the buffer is returned as
// size - 1 characters and continues with the next read.
int32_t connection_readline(vyr_connection* connection, char* buffer, int32_t size,
                            int32_t timeout);
// connection_readline that also ends by end_ms (monotonic_ms(), ticks.h), and gives -1 for
// a line whose time ran out before its end: a part of a line is no line.
int32_t connection_readline_until(vyr_connection* connection, char* buffer, int32_t size,
                                  int32_t timeout, int64_t end_ms);
// Drops input that has arrived but was not read, without waiting; a device that keeps
// talking is cut off after VYR_DISCARD_LIMIT bytes. The count dropped, or -1.
int32_t connection_discard_input(vyr_connection* connection);

VYR_EXTERN_C_END

#endif
