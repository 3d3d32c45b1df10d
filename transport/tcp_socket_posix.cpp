#include "tcp_socket.h"

#include "ticks.h"

#include <stddef.h>
#include <string.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(vyr_ipv4_address) == sizeof(sockaddr_in), "peer address layout");
static_assert(offsetof(vyr_ipv4_address, port) == offsetof(sockaddr_in, sin_port), "port");
static_assert(offsetof(vyr_ipv4_address, address) == offsetof(sockaddr_in, sin_addr), "addr");

namespace tcp_socket {

static_assert(no_address == INADDR_NONE, "parser's no-address value");

int32_t open_socket()
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void close_socket(int32_t sock)
{
    close(sock);
}

void set_blocking(int32_t sock, bool blocking)
{
    const int flags = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

void fill_address(vyr_ipv4_address* peer, uint32_t address, long port)
{
    memset(peer, 0, sizeof(*peer));
    peer->family = AF_INET;
    peer->port = htons(static_cast<uint16_t>(port));
    peer->address = address;
}

Connect start_connect(int32_t sock, const vyr_ipv4_address* peer, int32_t length)
{
    if (connect(sock, reinterpret_cast<const sockaddr*>(peer), static_cast<socklen_t>(length)) ==
        0) {
        return Connect::done;
    }
    return errno == EINPROGRESS ? Connect::pending : Connect::failed;
}

bool wait_ready(int32_t sock, int32_t limit_ms)
{
    const int64_t deadline = monotonic_ms() + limit_ms;
    for (;;) {
        pollfd entry{sock, POLLIN | POLLOUT, 0};
        const int64_t left = deadline - monotonic_ms();
        const int ready = poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// A refused attempt also shows as ready here; the pending error tells it apart.
bool connect_succeeded(int32_t sock)
{
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    errno = error;
    return error == 0;
}

bool set_receive_timeout(int32_t sock, int32_t timeout_ms)
{
    const uint32_t ms = static_cast<uint32_t>(timeout_ms);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(ms / 1000u);
    limit.tv_usec = static_cast<suseconds_t>((ms % 1000u) * 1000u);
    return setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) == 0;
}

namespace {

// recv's answer: a closed peer gives 0 for a non-empty buffer.
int32_t received(ssize_t got, int32_t size, int32_t* gone)
{
    if (gone) {
        *gone = got == 0 && size > 0 ? ECONNRESET : got < 0 && peer_gone(errno) ? errno : 0;
    }
    return got > 0 ? static_cast<int32_t>(got) : 0;
}

} // namespace

bool peer_gone(int number)
{
    return number == ECONNRESET || number == EPIPE || number == ENOTCONN || number == ECONNABORTED;
}

int32_t receive(int32_t sock, char* buffer, int32_t size, bool* timed_out, int32_t* gone)
{
    const ssize_t got = recv(sock, buffer, static_cast<size_t>(size), 0);
    if (timed_out) {
        *timed_out = got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    return received(got, size, gone);
}

int32_t receive_ready(int32_t sock, char* buffer, int32_t size, int32_t* gone)
{
    return received(recv(sock, buffer, static_cast<size_t>(size), MSG_DONTWAIT), size, gone);
}

int32_t send_bytes(int32_t sock, const char* data, int32_t size)
{
    return static_cast<int32_t>(send(sock, data, static_cast<size_t>(size), MSG_NOSIGNAL));
}

} // namespace tcp_socket
