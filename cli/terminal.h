#ifndef VYR_CLI_TERMINAL_H
#define VYR_CLI_TERMINAL_H

// The few things the tool needs from the operating system beyond the driver.

bool stderr_is_terminal();

// From here on a closed pipe shows as a failed write instead of ending the process,
// and SIGINT and SIGTERM only raise stop_requested().
void catch_stop_signals();
bool stop_requested();

#endif
