#include "syscall_counter.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Per thread, so that a feeding thread's calls stay out of the reader's counts.
thread_local bool counting = false;
thread_local Syscall_counts counts;

void count(long Syscall_counts::*field)
{
    if (counting) {
        ++(counts.*field);
    }
}

} // namespace

void start_counting_syscalls()
{
    counts = Syscall_counts{};
    counting = true;
}

Syscall_counts stop_counting_syscalls()
{
    counting = false;
    return counts;
}

extern "C" {

ssize_t __real_recv(int fd, void* buffer, size_t size, int flags);
int __real_setsockopt(int fd, int level, int name, const void* value, socklen_t length);
ssize_t __real_read(int fd, void* buffer, size_t size);
int __real_poll(pollfd* fds, nfds_t count, int timeout);

ssize_t __wrap_recv(int fd, void* buffer, size_t size, int flags)
{
    count(&Syscall_counts::recv);
    return __real_recv(fd, buffer, size, flags);
}

int __wrap_setsockopt(int fd, int level, int name, const void* value, socklen_t length)
{
    count(&Syscall_counts::setsockopt);
    return __real_setsockopt(fd, level, name, value, length);
}

ssize_t __wrap_read(int fd, void* buffer, size_t size)
{
    count(&Syscall_counts::read);
    return __real_read(fd, buffer, size);
}

int __wrap_poll(pollfd* fds, nfds_t count_of_fds, int timeout)
{
    count(&Syscall_counts::poll);
    return __real_poll(fds, count_of_fds, timeout);
}
}
