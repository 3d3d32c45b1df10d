#ifndef VYR_TRANSPORT_TCP_CLIENT_H
#define VYR_TRANSPORT_TCP_CLIENT_H

#include "c_interface.h"
#include "ring_buffer.h"
#include "system_error.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

enum { VYR_TCPCLIENT_RING_SHIFT = 8, VYR_TCPCLIENT_RING_STORAGE = 1 << VYR_TCPCLIENT_RING_SHIFT };

// Same layout as the platform's IPv4 socket address; port and address in network order.
typedef struct vyr_ipv4_address
{
    uint16_t family;
    uint16_t port;
    uint32_t address;
    uint8_t reserved[8];
} vyr_ipv4_address;

typedef struct vyr_tcpclient
{
    vyr_ipv4_address peer_address;
    int32_t sock VYR_STARTS_AS(-1);
    int32_t address_length VYR_STARTS_AS(0);
    ring_buffer ring;
    char ring_storage[VYR_TCPCLIENT_RING_STORAGE];
    int32_t pushed_back VYR_STARTS_AS(-1);    // -1 or 0: nothing held
    int32_t current_timeout VYR_STARTS_AS(0); // receive time-out the socket has now, in ms
    // Non-zero while the owner wants every wait to end (connection_set_abort_flag).
    const int32_t* abort_flag VYR_STARTS_AS(0);
    vyr_link_loss loss; // the peer closed or reset the connection
} vyr_tcpclient;

// host: a decimal dotted IPv4 address (ipv4_from_text) or exactly "localhost".
// 0, -1, or -2 after 2 s without answer.
int32_t tcpclient_open(vyr_tcpclient* client, const char* host, long port);
void tcpclient_close(vyr_tcpclient* client);
int32_t tcpclient_write(vyr_tcpclient* client, const char* data, int32_t size);
int32_t tcpclient_read(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout);
int32_t tcpclient_readline(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout);
// As connection_readline_until.
int32_t tcpclient_readline_until(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout,
                                 int64_t end_ms);
// As serial_discard_input.
int32_t tcpclient_discard_input(vyr_tcpclient* client);

VYR_EXTERN_C_END

#endif
