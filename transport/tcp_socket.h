#ifndef VYR_TRANSPORT_TCP_SOCKET_H
#define VYR_TRANSPORT_TCP_SOCKET_H

// The socket calls under the TCP client, one file per platform (tcp_socket_posix.cpp,
// tcp_socket_win32.cpp); internal to transport/ (C++ only). A failing call leaves an
// errno value in errno, so that the recorded reason reads the same on every platform.

#include "tcp_client.h"

#include <stdint.h>

namespace tcp_socket {

enum class Connect { done, pending, failed };

// What the dotted-quad parser gives for a text that is no address.
constexpr uint32_t no_address = 0xffffffffu;

// -1 on failure.
int32_t open_socket();
void close_socket(int32_t sock);
void set_blocking(int32_t sock, bool blocking);
void fill_address(vyr_ipv4_address* peer, uint32_t address, long port);
Connect start_connect(int32_t sock, const vyr_ipv4_address* peer, int32_t length);
// False when the pending connection did not settle within the limit.
bool wait_ready(int32_t sock, int32_t limit_ms);
bool connect_succeeded(int32_t sock);
// 0 means no limit; a negative time-out is read as an unsigned count, i.e. practically none.
bool set_receive_timeout(int32_t sock, int32_t timeout_ms);
// Bytes received, or 0 on failure, time-out or a closed peer; timed_out (may be null)
// tells a time-out or an interrupted wait from the others, gone (may be null) gets the
// errno value of a peer that closed or reset the connection, else 0.
int32_t receive(int32_t sock, char* buffer, int32_t size, bool* timed_out = nullptr,
                int32_t* gone = nullptr);
// What the socket holds now, without waiting.
int32_t receive_ready(int32_t sock, char* buffer, int32_t size, int32_t* gone = nullptr);
// The errno value of a failed send is one of a connection the peer has closed or reset.
bool peer_gone(int number);
// Bytes sent, or -1; a closed peer never raises a signal.
int32_t send_bytes(int32_t sock, const char* data, int32_t size);

} // namespace tcp_socket

#endif
