#ifndef VYR_EXCHANGE_H
#define VYR_EXCHANGE_H

/* Engine internals shared by the command groups: framing and reply checks. */

#include "vyr_sensor.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VYR_LINE_SIZE = 72,     /* one reply line and its NUL */
    VYR_OPEN_TIMEOUT = 140, /* ms, every exchange and drain during the open */
    /* The reply time-out follows the scan period; a period no sensor of the series has
       must not make every wait last seconds or minutes. */
    VYR_MIN_REPLY_TIMEOUT = 100,
    VYR_MAX_REPLY_TIMEOUT = 2000,
    /* Wall-clock ends of one user operation, in ms, kept below the bounds promised to
       the callers (open over TCP 3 s, over a serial line 5 s, a stop 1.5 s, any other
       exchange its time-out + 0.5 s) by what a loaded machine may add. */
    VYR_TCP_OPEN_BUDGET = 2800,
    VYR_SERIAL_OPEN_BUDGET = 4700,
    VYR_TCP_HANDSHAKE_BUDGET = 800,     /* each of the three handshakes over TCP */
    VYR_SERIAL_HANDSHAKE_BUDGET = 1200, /* each rate of the serial search */
    VYR_STOP_BUDGET = 1300,
    VYR_CLOSE_BUDGET = 300,
    VYR_EXCHANGE_MARGIN = 400, /* beyond the time-out of an exchange or a scan read */
    /* Ends for output that never ends (a command reply's: kvt::max_reply_lines). A scan
       has a few hundred lines; a device that goes on past these bounds is not answering
       the protocol. */
    VYR_MAX_DRAIN_LINES = 16384, /* lines one drain drops, several scans' worth */
    VYR_MAX_SCAN_LINES = 4096,   /* data lines of one scan */
    /* Rounds of dropping stray input before a command, each at most
       VYR_DISCARD_LIMIT bytes: about what loopback socket buffers hold. */
    VYR_MAX_DISCARD_ROUNDS = 256
};

/* One reply line: the transport's read, waiting at most timeout_msec and never past the
   current operation's deadline. -1 at once when that has passed or an abort is pending. */
int read_reply_line(vyr_sensor* sensor, char* buffer, int size, int timeout_msec);

/* Non-zero while vyr_request_abort is in force. */
int abort_pending(const vyr_sensor* sensor);

/* Says why the current operation failed (printf format); the first cause stays, so that
   the drains and retries after a failure do not hide it. */
void note_failure(vyr_sensor* sensor, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
/* The same, replacing what was said before: for a summary of several failures. */
void restate_failure(vyr_sensor* sensor, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Checksum character of the first length characters of text. */
char vyr_checksum(const char* text, int length);

/* Sends command (ending in LF) and reads its reply. expected_status ends with
   -1. reply (may be null) receives the status and data lines, each NUL-ended.
   Returns the number of lines before the empty line, VYR_UNKNOWN_ERROR (not
   stored) for an unaccepted status, or another stored negative code; a reply
   of more than kvt::max_reply_lines lines is VYR_INVALID_RESPONSE. */
int exchange_command(vyr_sensor* sensor, const char* command, const int* expected_status,
                     int timeout_msec, char* reply, int reply_size);

/* exchange_command that also tells whether a first line arrived and was
   printable text (answer_is_text, may be null). */
int exchange_reply(vyr_sensor* sensor, const char* command, const int* expected_status,
                   int timeout_msec, char* reply, int reply_size, int* answer_is_text);

/* Reads and drops lines up to the empty line that ends a reply, until a read
   fails or VYR_MAX_DRAIN_LINES are dropped. */
void drop_reply(vyr_sensor* sensor, int timeout_msec);

/* Drops input that arrived and belongs to no request. Queued scans of a
   running measurement are left for the reads. */
void drop_stray_input(vyr_sensor* sensor);

/* Ends a reply that failed with code on a line of failed_length characters
   (0: its empty line, negative: the read failed). A framing failure reads off
   what is left of the reply, so the next reply read is the next command's;
   with stop_output, running output is then stopped and drained
   (discard_pending). Stores and returns code. */
int end_failed_reply(vyr_sensor* sensor, int code, int failed_length, int timeout_msec,
                     int stop_output);

/* Stops and drains output the sensor may still be sending; ignores errors. */
void discard_pending(vyr_sensor* sensor, int timeout_msec);

/* Reads and drops lines until one read fails or VYR_MAX_DRAIN_LINES are
   dropped, then clears data_pending. */
void drop_lines(vyr_sensor* sensor, int timeout_msec);

int change_sensor_baudrate(vyr_sensor* sensor, long current_baudrate, long requested_baudrate);
int read_parameters(vyr_sensor* sensor);

#ifdef __cplusplus
}

#include "protocol_table.h"

/* The time-out of the reply to row's command on this sensor. */
int row_timeout(const vyr_sensor* sensor, const kvt::Command_row& row);

/* exchange_command with the row's own text, accepted statuses and time-out. */
int exchange_row(vyr_sensor* sensor, kvt::Command command, char* reply = nullptr,
                 int reply_size = 0);

/* Writes the row's text alone; true when every byte went. */
bool send_row(vyr_sensor* sensor, kvt::Command command);

/* Stores code as the sensor's last error and returns it. */
inline int fail(vyr_sensor* sensor, int code)
{
    sensor->last_error = code;
    return code;
}

/* One user operation: the outermost one sets the wall-clock deadline every read within
   it obeys, and forgets the last failure's detail; nested ones share it. */
class Operation_clock
{
public:
    Operation_clock(vyr_sensor* sensor, long long budget_ms);
    ~Operation_clock();
    Operation_clock(const Operation_clock&) = delete;
    Operation_clock& operator=(const Operation_clock&) = delete;

    /* An abort is pending: the operation must fail at once (VYR_NO_RESPONSE). */
    bool refused() const { return refused_; }

private:
    vyr_sensor* sensor_;
    bool refused_;
};

/* A part of an operation with an end of its own, never later than the operation's. */
class Deadline_share
{
public:
    Deadline_share(vyr_sensor* sensor, long long budget_ms);
    ~Deadline_share();
    Deadline_share(const Deadline_share&) = delete;
    Deadline_share& operator=(const Deadline_share&) = delete;

private:
    vyr_sensor* sensor_;
    long long outer_deadline_;
};

/* timeout_msec + VYR_EXCHANGE_MARGIN, for a time-out of any sign or size. */
long long exchange_budget(int timeout_msec);
#endif

#endif
