#include "tcp_client.h"

#include "ipv4_text.h"
#include "line_reader.h"
#include "system_error.h"
#include "tcp_socket.h"
#include "ticks.h"

#include <errno.h>
#include <string.h>

using namespace tcp_socket;

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

void note_gone(vyr_tcpclient* client, int32_t gone)
{
    if (gone != 0) {
        vyr_record_link_loss(&client->loss, "recv", gone);
    }
}

// Polls for a whole chunk straight into the ring, so that line reading costs one
// receive per ring-full. Called when the ring is empty, which puts all its room in one
// piece.
int32_t fill_ring(vyr_tcpclient* client)
{
    use_receive_timeout(client, poll_timeout_ms);
    char* space = nullptr;
    const int32_t room = ring_space(&client->ring, &space);
    int32_t gone = 0;
    const int32_t polled = room > 0 ? receive(client->sock, space, room, nullptr, &gone) : 0;
    note_gone(client, gone);
    ring_commit(&client->ring, polled);
    return polled;
}

// Network order, or no_address; the broadcast address is no sensor either.
uint32_t parse_dotted_quad(const char* text)
{
    uint8_t octets[4];
    if (ipv4_from_text(text, octets) != 0) {
        return no_address;
    }
    uint32_t address = 0;
    memcpy(&address, octets, sizeof(address));
    return address;
}

// The receive of a stalled link. While an abort flag is watched the wait goes in slices,
// so that a raised flag ends it; a flowing link never gets here.
int32_t receive_waiting(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout)
{
    if (!client->abort_flag || (timeout > 0 && timeout <= VYR_ABORT_CHECK_MS)) {
        use_receive_timeout(client, timeout);
        int32_t gone = 0;
        const int32_t got = receive(client->sock, buffer, size, nullptr, &gone);
        note_gone(client, gone);
        return got;
    }
    // 0 or below has no end, as the socket reads it.
    const int64_t end = timeout > 0 ? monotonic_ms() + timeout : INT64_MAX;
    for (;;) {
        if (vyr_abort_raised(client->abort_flag)) {
            return 0;
        }
        const int64_t left = end - monotonic_ms();
        if (left <= 0) {
            return 0;
        }
        use_receive_timeout(client, left < VYR_ABORT_CHECK_MS ? static_cast<int32_t>(left)
                                                              : VYR_ABORT_CHECK_MS);
        bool timed_out = false;
        int32_t gone = 0;
        const int32_t got = receive(client->sock, buffer, size, &timed_out, &gone);
        note_gone(client, gone);
        if (got > 0 || !timed_out) {
            return got;
        }
    }
}

// The connection attempt, in slices while an abort flag is watched.
bool wait_connected(vyr_tcpclient* client)
{
    const int64_t end = monotonic_ms() + connect_limit_ms;
    for (;;) {
        const int64_t left = end - monotonic_ms();
        if (left <= 0 || vyr_abort_raised(client->abort_flag)) {
            return false;
        }
        const int32_t slice = client->abort_flag && left > VYR_ABORT_CHECK_MS
                                  ? VYR_ABORT_CHECK_MS
                                  : static_cast<int32_t>(left);
        if (wait_ready(client->sock, slice)) {
            return true;
        }
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
    vyr_clear_link_loss(&client->loss);
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
        if (!wait_connected(client)) {
            if (vyr_abort_raised(client->abort_flag)) {
                vyr_record_system_error("connect", EINTR);
                return fail_open(client, -1);
            }
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
    const int32_t sent = send_bytes(client->sock, data, size);
    if (sent < 0 && peer_gone(errno)) {
        vyr_record_link_loss(&client->loss, "send", errno);
    } else if (sent < 0) {
        vyr_record_system_error("send", errno);
    }
    return sent;
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

    fill_ring(client);
    filled += ring_read(&client->ring, buffer + filled, size - filled);
    if (filled == size) {
        return size;
    }

    return filled + receive_waiting(client, buffer + filled, size - filled, timeout);
}

int32_t tcpclient_discard_input(vyr_tcpclient* client)
{
    if (client->sock == -1) {
        return -1;
    }
    const int32_t held = client->pushed_back > 0 ? 1 : 0;
    client->pushed_back = -1;
    return discard_unread(held, &client->ring, [client](char* chunk, int32_t size) {
        int32_t gone = 0;
        const int32_t got = receive_ready(client->sock, chunk, size, &gone);
        note_gone(client, gone);
        return got;
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

    int32_t buffered(const char*& run) { return ring_peek(&client->ring, &run); }

    void consume(int32_t count) { ring_drop(&client->ring, count); }

    // Called with a dry ring. A flowing reply refills it at once; only a stalled one
    // needs the clock.
    bool next(char& byte, Line_deadline& deadline)
    {
        // Past its time a line takes what has come already and waits for nothing more, so
        // that bytes coming steadily cannot stretch it.
        if (deadline.has_end() && deadline.left_ms() == 0) {
            char* space = nullptr;
            const int32_t room = ring_space(&client->ring, &space);
            int32_t gone = 0;
            const int32_t ready = client->sock != -1 && room > 0
                                      ? receive_ready(client->sock, space, room, &gone)
                                      : 0;
            note_gone(client, gone);
            ring_commit(&client->ring, ready > 0 ? ready : 0);
            return ready > 0 && ring_read(&client->ring, &byte, 1) == 1;
        }
        if (client->sock != -1 && fill_ring(client) > 0) {
            return ring_read(&client->ring, &byte, 1) == 1;
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

int32_t tcpclient_readline_until(vyr_tcpclient* client, char* buffer, int32_t size, int32_t timeout,
                                 int64_t end_ms)
{
    Tcp_line_source source{client};
    return read_line(source, buffer, size, timeout, end_ms, true);
}
