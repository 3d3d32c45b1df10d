#ifndef VYR_TESTS_SUPPORT_LOOPBACK_SOCKET_H
#define VYR_TESTS_SUPPORT_LOOPBACK_SOCKET_H

// Plain blocking sockets on 127.0.0.1 for the tests, the benchmarks and the fuzz targets.
// A socket is an int; on Windows it holds the SOCKET. Failures give -1 or false.

#include <cstddef>
#include <string>
#include <vector>

// Off where a peer answers at once and Nagle's delay would only measure itself.
enum class Nagle { on, off };

int listen_loopback(int& port, int backlog = 16); // on a port the system picks
int accept_peer(int listener, Nagle nagle = Nagle::on);
int connect_loopback(int port, Nagle nagle = Nagle::on);
// A port that was bound and closed again: nothing listens, connections are refused.
int free_loopback_port();

// One send of at most size bytes (never a signal): the count, or negative on error.
long send_some(int sock, const char* data, size_t size);
bool send_all(int sock, const char* data, size_t size);
bool receive_exactly(int sock, char* buffer, size_t size);
// One receive of at most size bytes: the count, 0 at the peer's close, negative on error.
long receive_some(int sock, char* buffer, size_t size);
// Blocks until sock has bytes to read (or its peer closed) or timeout_ms passed.
bool wait_readable(int sock, int timeout_ms);
void close_socket(int& sock);
// Whatever read_some gives within timeout_ms, up to size bytes; also for a terminal's
// descriptor, with a read_some of its own.
std::string receive_within(int sock, size_t size, int timeout_ms,
                           long (*read_some)(int, char*, size_t) = receive_some);

// Connections to a listener with backlog 0 until the system drops further requests.
std::vector<int> fill_accept_queue(int port);
void close_sockets(const std::vector<int>& sockets);
bool socket_is_open(int sock);

// For harness threads that cannot go on: says what failed (perror) and aborts.
[[noreturn]] void die(const char* what);

// Descriptors, or on Windows handles, the process holds.
int open_descriptor_count();

#endif
