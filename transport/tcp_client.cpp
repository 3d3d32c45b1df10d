#include "tcp_client.h"

#include "line_reader.h"
#include "system_error.h"
#include "ticks.h"

#include <stddef.h>
#include <string.h>

// ---- Platform calls (POSIX sockets) ----------------------------------------------------

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

namespace {

enum class Connect { done, pending, failed };

const uint32_t no_address = INADDR_NONE;

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

uint32_t parse_dotted_quad(const char* text)
{
    return text ? inet_addr(text) : no_address;
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

// False when the socket did not become readable or writable within the limit.
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

// 0 means no limit; a negative time-out is read as an unsigned count, i.e. practically none.
bool set_receive_timeout(int32_t sock, int32_t timeout_ms)
{
    const uint32_t ms = static_cast<uint32_t>(timeout_ms);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(ms / 1000u);
    limit.tv_usec = static_cast<suseconds_t>((ms % 1000u) * 1000u);
    return setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) == 0;
}

// Bytes received, or 0 on failure, time-out or a closed peer.
int32_t receive(int32_t sock, char* buffer, int32_t size)
{
    const ssize_t got = recv(sock, buffer, static_cast<size_t>(size), 0);
    return got > 0 ? static_cast<int32_t>(got) : 0;
}

// What the socket holds now, without waiting.
int32_t receive_ready(int32_t sock, char* buffer, int32_t size)
{
    const ssize_t got = recv(sock, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    return got > 0 ? static_cast<int32_t>(got) : 0;
}

int32_t send_bytes(int32_t sock, const char* data, int32_t size)
{
    return static_cast<int32_t>(send(sock, data, static_cast<size_t>(size), MSG_NOSIGNAL));
}

} // namespace

// ---- Client ----------------------------------------------------------------------------

namespace {

const int32_t connect_limit_ms = 2000;
const int32_t poll_timeout_ms = 1;

// The socket keeps its time-out, so a flowing reply costs only the receives.
void use_receive_timeout(vyr_tcpclient* client, int32_t timeout_ms)
{
    if (client->current_timeout != timeout_ms && set_receive_timeout(client->sock, timeout_ms)) {
        client->current_timeout = timeout_ms;
    }
}

int32_t fail_open(vyr_tcpclient* client, int32_t result)
{
    close_socket(client->sock);
    client->sock = -1;
    return result;
}

} // namespace

int32_t tcpclient_open(vyr_tcpclient* client, const char* host, long port)
{
    client->sock = -1;
    client->pushed_back = -1;
    ring_initialize(&client->ring, client->ring_storage, VYR_TCPCLIENT_RING_SHIFT);
    client->address_length = sizeof(vyr_ipv4_address);

    client->sock = open_socket();
    client->current_timeout = 0; // a new socket waits without limit
    if (client->sock < 0) {
        vyr_record_system_error("socket", errno);
        client->sock = -1;
        return -1;
    }
    if (host && strcmp(host, "localhost") == 0) {
        host = "127.0.0.1";
    }
    const uint32_t address = parse_dotted_quad(host);
    // A port beyond 16 bits would otherwise be cut and reach some other service.
    if (address == no_address || port < 1 || port > 65535) {
        vyr_record_system_error(address == no_address ? "inet_addr" : "port", EINVAL);
        return fail_open(client, -1);
    }
    fill_address(&client->peer_address, address, port);

    set_blocking(client->sock, false);
    switch (start_connect(client->sock, &client->peer_address, client->address_length)) {
    case Connect::done:
        break;
    case Connect::failed:
        vyr_record_system_error("connect", errno);
        return fail_open(client, -1);
    case Connect::pending:
        if (!wait_ready(client->sock, connect_limit_ms)) {
            vyr_record_system_error("connect", ETIMEDOUT);
            return fail_open(client, -2);
        }
        if (!connect_succeeded(client->sock)) {
            vyr_record_system_error("connect", errno);
            return fail_open(client, -1);
        }
        break;
    }
    set_blocking(client->sock, true);
    return 0;
}

void tcpclient_close(vyr_tcpclient* client)
{
    if (client->sock != -1) {
        close_socket(client->sock);
        client->sock = -1;
    }
}

int32_t tcpclient_write(vyr_tcpclient* client, const char* data, int32_t size)
{
    // A negative size would reach the system as a huge length and send memory past data.
    if (size < 0) {
        return -1;
    }
    return send_bytes(client->sock, data, size);
}

int32_t tcpclient_read(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout)
{
    if (size <= 0) {
        return 0;
    }
    int32_t filled = ring_read(&client->ring, buffer, size);
    if (filled == size) {
        return size;
    }

    // Poll for a whole chunk first, so that line reading costs one receive per ring-full.
    char chunk[VYR_TCPCLIENT_RING_STORAGE - 1];
    use_receive_timeout(client, poll_timeout_ms);
    const int32_t room = ring_capacity(&client->ring) - ring_size(&client->ring);
    const int32_t polled = room > 0 ? receive(client->sock, chunk, room) : 0;
    if (polled > 0) {
        ring_write(&client->ring, chunk, polled);
    }
    filled += ring_read(&client->ring, buffer + filled, size - filled);
    if (filled == size) {
        return size;
    }

    use_receive_timeout(client, timeout);
    return filled + receive(client->sock, buffer + filled, size - filled);
}

int32_t tcpclient_discard_input(vyr_tcpclient* client)
{
    if (client->sock == -1) {
        return -1;
    }
    const int32_t held = client->pushed_back > 0 ? 1 : 0;
    client->pushed_back = -1;
    return discard_unread(held, &client->ring, [client](char* chunk, int32_t size) {
        return receive_ready(client->sock, chunk, size);
    });
}

namespace {

// The held byte stays with the line reading: a plain read does not see it.
struct Tcp_line_source
{
    vyr_tcpclient* client;

    int32_t take_held(char* first)
    {
        if (client->pushed_back <= 0) {
            return 0;
        }
        *first = static_cast<char>(client->pushed_back);
        client->pushed_back = -1;
        return 1;
    }

    bool next(char& byte, Line_deadline& deadline)
    {
        // Most bytes are in the ring already; only a dry ring needs the clock and the read.
        if (ring_read(&client->ring, &byte, 1) == 1) {
            return true;
        }
        int32_t wait = deadline.left_ms();
        if (wait == 0 && deadline.has_end()) {
            wait = poll_timeout_ms; // to the socket 0 would mean no limit at all
        }
        return tcpclient_read(client, &byte, 1, wait) == 1;
    }

    void hold_back(char byte) { client->pushed_back = static_cast<unsigned char>(byte); }
};

} // namespace

int32_t tcpclient_readline(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout)
{
    Tcp_line_source source{client};
    return read_line(source, buffer, size, timeout);
}
