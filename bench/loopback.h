#ifndef VYR_BENCH_LOOPBACK_H
#define VYR_BENCH_LOOPBACK_H

#include <cstddef>

// Small blocking socket helpers for the benchmarks; 127.0.0.1 only.
int listen_loopback(int& port); // listener on a free port, or -1
int accept_peer(int listener);  // -1 on failure
int connect_loopback(int port); // connected socket with TCP_NODELAY, or -1
bool send_all(int fd, const char* data, size_t size);
bool receive_exactly(int fd, char* buffer, size_t size);
void close_fd(int& fd);

#endif
