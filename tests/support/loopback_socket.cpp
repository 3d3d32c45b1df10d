#include "loopback_socket.h"

#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <chrono>

bool send_all(int sock, const char* data, size_t size)
{
    while (size > 0) {
        const long sent = send_some(sock, data, size);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool receive_exactly(int sock, char* buffer, size_t size)
{
    while (size > 0) {
        const long got = receive_some(sock, buffer, size);
        if (got <= 0) {
            return false;
        }
        buffer += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

std::string receive_within(int sock, size_t size, int timeout_ms,
                           long (*read_some)(int, char*, size_t))
{
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (bytes.size() < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !wait_readable(sock, static_cast<int>(left.count()))) {
            break;
        }
        char chunk[512];
        const long n = read_some(sock, chunk, std::min(sizeof chunk, size - bytes.size()));
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

void die(const char* what)
{
    std::perror(what);
    std::abort();
}
