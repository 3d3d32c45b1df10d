#include "tcp_socket.h"

#include "win32_error.h"

#include <errno.h>
#include <stddef.h>
#include <string.h>

#include <winsock2.h>

static_assert(sizeof(vyr_ipv4_address) == sizeof(sockaddr_in), "peer address layout");
static_assert(offsetof(vyr_ipv4_address, port) == offsetof(sockaddr_in, sin_port), "port");
static_assert(offsetof(vyr_ipv4_address, address) == offsetof(sockaddr_in, sin_addr), "addr");

namespace tcp_socket {

static_assert(no_address == INADDR_NONE, "parser's no-address value");

namespace {

// Set by the first successful start-up; the library is never shut down.
bool library_started = false;

bool start_library()
{
    if (!library_started) {
        WSADATA data;
        library_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return library_started;
}

void record_errno()
{
    errno = errno_from_winsock(WSAGetLastError());
}

// Socket handles of the system fit in 32 bits; the record keeps them as such.
SOCKET handle(int32_t sock)
{
    return static_cast<SOCKET>(static_cast<uint32_t>(sock));
}

} // namespace

int32_t open_socket()
{
    if (!start_library()) {
        errno = EIO;
        return -1;
    }
    const SOCKET sock = socket(AF_INET, SOCK_STREAM, 0);
    if (sock == INVALID_SOCKET) {
        record_errno();
        return -1;
    }
    // Not handed to child processes, as close-on-exec elsewhere.
    SetHandleInformation(reinterpret_cast<HANDLE>(sock), HANDLE_FLAG_INHERIT, 0);
    return static_cast<int32_t>(sock);
}

void close_socket(int32_t sock)
{
    closesocket(handle(sock));
}

void set_blocking(int32_t sock, bool blocking)
{
    u_long non_blocking = blocking ? 0 : 1;
    ioctlsocket(handle(sock), FIONBIO, &non_blocking);
}

void fill_address(vyr_ipv4_address* peer, uint32_t address, long port)
{
    memset(peer, 0, sizeof(*peer));
    peer->family = AF_INET;
    peer->port = htons(static_cast<u_short>(port));
    peer->address = address;
}

Connect start_connect(int32_t sock, const vyr_ipv4_address* peer, int32_t length)
{
    if (connect(handle(sock), reinterpret_cast<const sockaddr*>(peer), length) == 0) {
        return Connect::done;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        return Connect::pending;
    }
    record_errno();
    return Connect::failed;
}

// Winsock shows a failed attempt only in the exception set: watching it too gives a
// refused connection its own answer instead of the 2 s time-out.
bool wait_ready(int32_t sock, int32_t limit_ms)
{
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(handle(sock), &readable);
    FD_SET(handle(sock), &writable);
    FD_SET(handle(sock), &failed);
    timeval limit{};
    limit.tv_sec = limit_ms / 1000;
    limit.tv_usec = (limit_ms % 1000) * 1000;
    return select(0, &readable, &writable, &failed, &limit) > 0;
}

bool connect_succeeded(int32_t sock)
{
    int error = 0;
    int length = sizeof(error);
    if (getsockopt(handle(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
        0) {
        error = WSAGetLastError();
    }
    errno = error == 0 ? 0 : errno_from_winsock(error);
    return error == 0;
}

bool set_receive_timeout(int32_t sock, int32_t timeout_ms)
{
    const DWORD ms = static_cast<DWORD>(timeout_ms);
    return setsockopt(handle(sock), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                      sizeof(ms)) == 0;
}

bool peer_gone(int number)
{
    return number == ECONNRESET || number == EPIPE || number == ENOTCONN || number == ECONNABORTED;
}

int32_t receive(int32_t sock, char* buffer, int32_t size, bool* timed_out, int32_t* gone)
{
    const int got = recv(handle(sock), buffer, size, 0);
    const int error = got == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (timed_out) {
        *timed_out = error == WSAETIMEDOUT || error == WSAEINTR;
    }
    if (gone) {
        *gone = got == 0 && size > 0                                 ? ECONNRESET
                : error == WSAECONNRESET || error == WSAECONNABORTED ? ECONNRESET
                                                                     : 0;
    }
    return got > 0 ? got : 0;
}

// Winsock has no per-call non-blocking flag; the queued count keeps the receive short.
int32_t receive_ready(int32_t sock, char* buffer, int32_t size, int32_t* gone)
{
    if (gone) {
        *gone = 0;
    }
    u_long queued = 0;
    if (ioctlsocket(handle(sock), FIONREAD, &queued) != 0 || queued == 0) {
        return 0;
    }
    const int wanted = queued < static_cast<u_long>(size) ? static_cast<int>(queued) : size;
    return receive(sock, buffer, wanted, nullptr, gone);
}

int32_t send_bytes(int32_t sock, const char* data, int32_t size)
{
    const int sent = send(handle(sock), data, size, 0);
    if (sent == SOCKET_ERROR) {
        record_errno();
        return -1;
    }
    return sent;
}

} // namespace tcp_socket
