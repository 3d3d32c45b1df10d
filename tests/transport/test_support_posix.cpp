#include "test_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int bound_socket()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    require(fd >= 0, "socket");
    sockaddr_in address = loopback(0);
    require(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0, "bind");
    return fd;
}

int port_of(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    require(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0, "getsockname");
    return ntohs(address.sin_port);
}

void send_all(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        require(n > 0, "write");
        sent += static_cast<size_t>(n);
    }
}

std::string receive_some(int fd, size_t size, int timeout_ms)
{
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (bytes.size() < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !wait_readable(fd, static_cast<int>(left.count()))) {
            break;
        }
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, std::min(sizeof(chunk), size - bytes.size()));
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

} // namespace

int open_descriptor_count()
{
    DIR* listing = opendir("/proc/self/fd");
    int count = 0;
    while (readdir(listing)) {
        ++count;
    }
    closedir(listing);
    return count;
}

bool wait_readable(int fd, int timeout_ms)
{
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeout_ms) > 0;
}

LoopbackServer::LoopbackServer(int backlog)
{
    listener_ = bound_socket();
    require(listen(listener_, backlog) == 0, "listen");
    port_ = port_of(listener_);
}

LoopbackServer::~LoopbackServer()
{
    close_peer();
    close(listener_);
}

bool LoopbackServer::accept_peer()
{
    close_peer();
    if (!wait_readable(listener_, 1000)) {
        return false;
    }
    peer_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
}

void LoopbackServer::send(const std::string& bytes)
{
    send_all(peer_, bytes);
}

std::string LoopbackServer::receive(size_t size, int timeout_ms)
{
    return receive_some(peer_, size, timeout_ms);
}

void LoopbackServer::close_peer()
{
    if (peer_ >= 0) {
        close(peer_);
        peer_ = -1;
    }
}

int refused_port()
{
    const int fd = bound_socket();
    const int port = port_of(fd);
    close(fd);
    return port;
}

std::vector<int> fill_accept_queue(int port)
{
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(port);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        fillers.push_back(fd);
        pollfd entry{fd, POLLOUT, 0};
        if (poll(&entry, 1, 200) == 0) {
            break;
        }
    }
    return fillers;
}

void close_sockets(const std::vector<int>& sockets)
{
    for (int fd : sockets) {
        close(fd);
    }
}

bool socket_is_open(int sock)
{
    return fcntl(sock, F_GETFD) != -1;
}

PseudoTerminal::PseudoTerminal()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    require(master_ >= 0, "posix_openpt");
    require(grantpt(master_) == 0 && unlockpt(master_) == 0, "unlockpt");
    const char* name = ptsname(master_);
    require(name != nullptr, "ptsname");
    device_path_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    close(master_);
}

void PseudoTerminal::send(const std::string& bytes)
{
    send_all(master_, bytes);
}

std::string PseudoTerminal::receive(size_t size, int timeout_ms)
{
    return receive_some(master_, size, timeout_ms);
}
