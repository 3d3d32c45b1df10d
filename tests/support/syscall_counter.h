#ifndef VYR_TESTS_SUPPORT_SYSCALL_COUNTER_H
#define VYR_TESTS_SUPPORT_SYSCALL_COUNTER_H

// Counts the system calls of the reading path made on the calling thread while
// counting is on. The executable must link with the --wrap options that
// vyr_syscall_counter carries (tests/support/CMakeLists.txt), which route these
// calls through the counter.
struct Syscall_counts
{
    long recv = 0;
    long setsockopt = 0;
    long read = 0;
    long poll = 0;
    long total() const { return recv + setsockopt + read + poll; }
};

void start_counting_syscalls();
Syscall_counts stop_counting_syscalls();

#endif
