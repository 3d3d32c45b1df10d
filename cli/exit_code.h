#ifndef VYR_CLI_EXIT_CODE_H
#define VYR_CLI_EXIT_CODE_H

// What the process returns. With several targets the highest of theirs wins; a usage
// error is found before anything is sent, so it never mixes with the others.
enum Exit_code {
    exit_ok = 0,
    exit_refused = 1, // the sensor refused or answered wrongly
    exit_usage = 2,
    exit_no_connect = 3,
};

#endif
