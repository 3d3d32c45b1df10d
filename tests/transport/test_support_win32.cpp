#include "test_support.h"

#include <stdexcept>

#include <winsock2.h>

#include <windows.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

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
    require(started, "WSAStartup");
    const SOCKET sock = socket(AF_INET, SOCK_STREAM, 0);
    require(sock != INVALID_SOCKET, "socket");
    return static_cast<int>(sock);
}

int bound_socket()
{
    const int sock = new_socket();
    sockaddr_in address = loopback(0);
    require(bind(handle(sock), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0,
            "bind");
    return sock;
}

int port_of(int sock)
{
    sockaddr_in address{};
    int length = sizeof(address);
    require(getsockname(handle(sock), reinterpret_cast<sockaddr*>(&address), &length) == 0,
            "getsockname");
    return ntohs(address.sin_port);
}

} // namespace

int open_descriptor_count()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

bool wait_readable(int fd, int timeout_ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(handle(fd), &readable);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

LoopbackServer::LoopbackServer(int backlog)
{
    listener_ = bound_socket();
    require(listen(handle(listener_), backlog) == 0, "listen");
    port_ = port_of(listener_);
}

LoopbackServer::~LoopbackServer()
{
    close_peer();
    closesocket(handle(listener_));
}

bool LoopbackServer::accept_peer()
{
    close_peer();
    if (!wait_readable(listener_, 1000)) {
        return false;
    }
    const SOCKET peer = accept(handle(listener_), nullptr, nullptr);
    peer_ = peer == INVALID_SOCKET ? -1 : static_cast<int>(peer);
    return peer_ >= 0;
}

void LoopbackServer::send(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n =
            ::send(handle(peer_), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        require(n > 0, "send");
        sent += static_cast<size_t>(n);
    }
}

std::string LoopbackServer::receive(size_t size, int timeout_ms)
{
    std::string bytes;
    Stopwatch watch;
    while (bytes.size() < size) {
        const long left = timeout_ms - watch.elapsed_ms();
        if (left <= 0 || !wait_readable(peer_, static_cast<int>(left))) {
            break;
        }
        char chunk[512];
        const int wanted = static_cast<int>(std::min(sizeof(chunk), size - bytes.size()));
        const int n = recv(handle(peer_), chunk, wanted, 0);
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

void LoopbackServer::close_peer()
{
    if (peer_ >= 0) {
        closesocket(handle(peer_));
        peer_ = -1;
    }
}

int refused_port()
{
    const int sock = bound_socket();
    const int port = port_of(sock);
    closesocket(handle(sock));
    return port;
}

std::vector<int> fill_accept_queue(int port)
{
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        const int sock = new_socket();
        u_long non_blocking = 1;
        ioctlsocket(handle(sock), FIONBIO, &non_blocking);
        sockaddr_in address = loopback(port);
        connect(handle(sock), reinterpret_cast<sockaddr*>(&address), sizeof(address));
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
    int length = sizeof(type);
    return getsockopt(handle(sock), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) ==
           0;
}
