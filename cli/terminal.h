#ifndef VYR_CLI_TERMINAL_H
#define VYR_CLI_TERMINAL_H

// The few things the tool needs from the operating system beyond the driver.

namespace kvt {
class Lidar;
}

bool stderr_is_terminal();

// From here on SIGINT and SIGTERM (on Windows also Ctrl-Break and closing the console)
// only note the signal and abort the driver named by abort_on_stop; a second one ends
// the process at once with interrupted_exit_code().
void catch_stop_signals();
// From here on a closed pipe shows as a failed write instead of ending the process.
void ignore_broken_pipe();

// The first stop signal's number; 0 while none came.
int stop_signal();
// 128 + the signal's number: 130 for SIGINT (Ctrl-C), 143 for SIGTERM.
int interrupted_exit_code();

// The driver a stop signal aborts from the handler itself, so that a blocked read ends at
// once; nullptr for none. The driver must outlive the process or be removed first.
void abort_on_stop(kvt::Lidar* driver);

// Ends the process now, without waiting for threads that may still wait on a sensor.
// Standard output must be flushed before.
[[noreturn]] void exit_now(int code);

#endif
