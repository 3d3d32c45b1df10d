#include "loopback_socket.h"

#include <arpa/inet.h>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int with_nagle(int sock, Nagle nagle)
{
    if (sock >= 0 && nagle == Nagle::off) {
        const int on = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return sock;
}

} // namespace

int listen_loopback(int& port, int backlog)
{
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        return -1;
    }
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(sock, backlog) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(sock);
        return -1;
    }
    port = ntohs(address.sin_port);
    return sock;
}

int accept_peer(int listener, Nagle nagle)
{
    return with_nagle(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), nagle);
}

int connect_loopback(int port, Nagle nagle)
{
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (sock >= 0 &&
        connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close_socket(sock);
    }
    return with_nagle(sock, nagle);
}

int free_loopback_port()
{
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (sock >= 0 && bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (sock >= 0) {
        close(sock);
    }
    return port;
}

long send_some(int sock, const char* data, size_t size)
{
    return static_cast<long>(send(sock, data, size, MSG_NOSIGNAL));
}

long receive_some(int sock, char* buffer, size_t size)
{
    return static_cast<long>(recv(sock, buffer, size, 0));
}

bool wait_readable(int sock, int timeout_ms)
{
    pollfd entry{sock, POLLIN, 0};
    return poll(&entry, 1, timeout_ms) > 0;
}

void close_socket(int& sock)
{
    if (sock >= 0) {
        close(sock);
        sock = -1;
    }
}

std::vector<int> fill_accept_queue(int port)
{
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        const int sock = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopback(port);
        connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers.push_back(sock);
        pollfd entry{sock, POLLOUT, 0};
        if (poll(&entry, 1, 200) == 0) {
            break;
        }
    }
    return fillers;
}

void close_sockets(const std::vector<int>& sockets)
{
    for (int sock : sockets) {
        close(sock);
    }
}

bool socket_is_open(int sock)
{
    return fcntl(sock, F_GETFD) != -1;
}

int open_descriptor_count()
{
    int count = 0;
    if (DIR* listing = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(listing)) {
            count += entry->d_name[0] != '.';
        }
        closedir(listing);
        --count; // the listing's own descriptor
    }
    return count;
}
