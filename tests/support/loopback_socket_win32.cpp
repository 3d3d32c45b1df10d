#include "loopback_socket.h"

#include <winsock2.h>

#include <windows.h>

namespace {

SOCKET handle(int sock)
{
    return static_cast<SOCKET>(static_cast<unsigned>(sock));
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int new_socket()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const SOCKET sock = started ? socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
    return sock == INVALID_SOCKET ? -1 : static_cast<int>(sock);
}

int with_nagle(int sock, Nagle nagle)
{
    if (sock >= 0 && nagle == Nagle::off) {
        const BOOL on = TRUE;
        setsockopt(handle(sock), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                   sizeof on);
    }
    return sock;
}

// The port of a socket bound to 127.0.0.1 on a port the system picks, or -1.
int bind_free_port(int sock)
{
    sockaddr_in address = loopback(0);
    int length = sizeof address;
    if (bind(handle(sock), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(handle(sock), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

} // namespace

int listen_loopback(int& port, int backlog)
{
    int sock = new_socket();
    if (sock < 0) {
        return -1;
    }
    const int bound = bind_free_port(sock);
    if (bound < 0 || listen(handle(sock), backlog) != 0) {
        close_socket(sock);
        return -1;
    }
    port = bound;
    return sock;
}

int accept_peer(int listener, Nagle nagle)
{
    const SOCKET peer = accept(handle(listener), nullptr, nullptr);
    return with_nagle(peer == INVALID_SOCKET ? -1 : static_cast<int>(peer), nagle);
}

int connect_loopback(int port, Nagle nagle)
{
    int sock = new_socket();
    const sockaddr_in address = loopback(port);
    if (sock >= 0 &&
        connect(handle(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close_socket(sock);
    }
    return with_nagle(sock, nagle);
}

int free_loopback_port()
{
    int sock = new_socket();
    const int port = sock < 0 ? -1 : bind_free_port(sock);
    close_socket(sock);
    return port;
}

long send_some(int sock, const char* data, size_t size)
{
    return send(handle(sock), data, static_cast<int>(size), 0);
}

long receive_some(int sock, char* buffer, size_t size)
{
    return recv(handle(sock), buffer, static_cast<int>(size), 0);
}

bool wait_readable(int sock, int timeout_ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(handle(sock), &readable);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

void close_socket(int& sock)
{
    if (sock >= 0) {
        closesocket(handle(sock));
        sock = -1;
    }
}

std::vector<int> fill_accept_queue(int port)
{
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        const int sock = new_socket();
        u_long non_blocking = 1;
        ioctlsocket(handle(sock), FIONBIO, &non_blocking);
        const sockaddr_in address = loopback(port);
        connect(handle(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers.push_back(sock);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(handle(sock), &writable);
        timeval limit{0, 200000};
        if (select(0, nullptr, &writable, nullptr, &limit) == 0) {
            break;
        }
    }
    return fillers;
}

void close_sockets(const std::vector<int>& sockets)
{
    for (int sock : sockets) {
        closesocket(handle(sock));
    }
}

bool socket_is_open(int sock)
{
    int type = 0;
    int length = sizeof type;
    return getsockopt(handle(sock), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                      &length) == 0;
}

int open_descriptor_count()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}
