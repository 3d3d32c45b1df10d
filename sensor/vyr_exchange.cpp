#include "vyr_exchange.h"

#include "reply_framer.h"
#include "ticks.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void write_note(vyr_sensor* sensor, const char* format, va_list arguments)
{
    std::vsnprintf(sensor->error_detail, sizeof sensor->error_detail, format, arguments);
}

// The command as the details quote it: without its LF, device-free text.
int command_length(const char* command)
{
    const int n = static_cast<int>(std::strlen(command));
    return n > 0 && command[n - 1] == '\n' ? n - 1 : n;
}

// Notes why a read of the reply to command came back empty.
void note_silence(vyr_sensor* sensor, const char* command, bool answered, long long sent_at,
                  int first_wait)
{
    if (abort_pending(sensor)) {
        note_failure(sensor, "stopped by request");
    } else if (!answered) {
        note_failure(sensor, "no answer to \"%.*s\" within %d ms", command_length(command), command,
                     first_wait);
    } else {
        note_failure(sensor, "the answer to \"%.*s\" did not complete within %lld ms",
                     command_length(command), command, monotonic_ms() - sent_at);
    }
}

void note_not_protocol(vyr_sensor* sensor)
{
    note_failure(sensor, "the device answered, but not in the sensor's protocol");
}

// The wait the first line of a reply gets: the time-out, or less when the operation ends
// sooner.
int first_wait(const vyr_sensor* sensor, int timeout_msec)
{
    if (sensor->operation_depth == 0) {
        return timeout_msec;
    }
    const long long left = sensor->deadline_ms - monotonic_ms();
    return left < timeout_msec || timeout_msec <= 0 ? static_cast<int>(left > 0 ? left : 0)
                                                    : timeout_msec;
}

// Leading decimal number of text; false when there is none. Saturates at the long long
// range, far beyond any bound below.
bool parse_decimal(const char* text, long long* value)
{
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text;
}

// The failures after which the rest of a reply may still be on its way. A read
// that failed has nothing left to read; the next command drops what comes late.
bool breaks_framing(int code)
{
    return code == VYR_INVALID_RESPONSE || code == VYR_CHECKSUM_ERROR ||
           code == VYR_RECEIVE_ERROR || code == VYR_MEASUREMENT_TYPE_MISMATCH;
}

// What a sensor of the series can report in "PP". Steps go into the four-digit step
// fields of the measurement requests ("GD0044072501"), so no step exceeds 9999, and a
// scan's arrays (sized by AMAX) stay small. Distances come as three six-bit characters,
// at most 262143. ARES is the steps of a full turn: positive, and a real sensor has a few
// thousand. SCAN runs from 1 to 200 scans a second. AMIN <= AFRT <= AMAX and
// DMIN <= DMAX are checked apart.
struct parameter_row
{
    const char* key;
    long long min;
    long long max;
};

const parameter_row parameter_table[] = {
    {"DMIN:", 0, 262143}, {"DMAX:", 0, 262143}, {"ARES:", 1, 65535},  {"AMIN:", 0, 9999},
    {"AMAX:", 0, 9999},   {"AFRT:", 0, 9999},   {"SCAN:", 60, 12000},
};
const int parameter_count = sizeof parameter_table / sizeof parameter_table[0];

// SCAN: counts scans a minute.
const long long usec_per_minute = 60000000;
// The reply time-out in ms is the scan period in us divided by 64: some sixteen scan
// periods, the time a sensor busy with its scans may take to answer.
const int reply_timeout_shift = 6;

int reply_timeout(int scan_usec)
{
    const int timeout = scan_usec >> reply_timeout_shift;
    return timeout < VYR_MIN_REPLY_TIMEOUT   ? VYR_MIN_REPLY_TIMEOUT
           : timeout > VYR_MAX_REPLY_TIMEOUT ? VYR_MAX_REPLY_TIMEOUT
                                             : timeout;
}

// The parameter values in table order, checked against the table and each other.
int store_parameters(vyr_sensor* sensor, const long long (&values)[parameter_count])
{
    for (int k = 0; k < parameter_count; ++k) {
        const parameter_row& row = parameter_table[k];
        if (values[k] < row.min || values[k] > row.max) {
            note_failure(sensor, "the sensor reported %.4s %lld, outside %lld..%lld", row.key,
                         values[k], row.min, row.max);
            return fail(sensor, VYR_RECEIVE_ERROR);
        }
    }
    const long long dmin = values[0], dmax = values[1], amin = values[3], amax = values[4],
                    afrt = values[5];
    if (dmin > dmax) {
        note_failure(sensor, "the sensor reported DMIN %lld above DMAX %lld", dmin, dmax);
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    if (amin > afrt || afrt > amax) {
        note_failure(sensor, "the sensor reported AMIN %lld, AFRT %lld, AMAX %lld, out of order",
                     amin, afrt, amax);
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    int* const fields[] = {&sensor->distance_min, &sensor->distance_max, &sensor->area_resolution,
                           &sensor->area_min,     &sensor->area_max,     &sensor->area_front};
    for (int k = 0; k < 6; ++k) {
        *fields[k] = static_cast<int>(values[k]);
    }
    sensor->scan_usec = static_cast<int>(usec_per_minute / values[6]);
    sensor->timeout_msec = reply_timeout(sensor->scan_usec);
    sensor->first_step = sensor->area_min - sensor->area_front;
    sensor->last_step = sensor->area_max - sensor->area_front;
    sensor->skip_step = 1;
    return 0;
}

// The engine's connection, as the framer reads it.
class Sensor_lines : public kvt::Line_source
{
public:
    explicit Sensor_lines(vyr_sensor* sensor) : sensor_(sensor) {}
    int read_line(char* buffer, int size, int timeout_ms) override
    {
        return read_reply_line(sensor_, buffer, size, timeout_ms);
    }

private:
    vyr_sensor* sensor_;
};

// Keeps the status and data lines, each NUL-ended, as long as each still fits whole.
class Reply_buffer : public kvt::Reply_sink
{
public:
    Reply_buffer(char* reply, int size) : reply_(reply), size_(reply ? size : 0)
    {
        if (size_ > 0) {
            reply_[0] = '\0';
        }
    }
    void line(const char* text, int length) override
    {
        if (length + 1 <= size_ - stored_) {
            std::memcpy(reply_ + stored_, text, length);
            reply_[stored_ + length] = '\0';
            stored_ += length + 1;
        }
    }

private:
    char* reply_;
    int size_;
    int stored_ = 0;
};

} // namespace

extern "C" {

int abort_pending(const vyr_sensor* sensor)
{
    return vyr_abort_raised(&sensor->abort_requested) ? 1 : 0;
}

int read_reply_line(vyr_sensor* sensor, char* buffer, int size, int timeout_msec)
{
    if (size > 0) {
        buffer[0] = '\0';
    }
    if (abort_pending(sensor)) {
        return -1;
    }
    if (sensor->operation_depth == 0) {
        return connection_readline(&sensor->connection, buffer, size, timeout_msec);
    }
    // Every wait of the transport ends by the deadline; lines that need no wait cost no
    // time, so the clock is read for them only now and then, which keeps it off the
    // per-line cost of a flowing scan.
    if ((++sensor->lines_unclocked & 7) == 0 && monotonic_ms() >= sensor->deadline_ms) {
        return -1;
    }
    return connection_readline_until(&sensor->connection, buffer, size, timeout_msec,
                                     sensor->deadline_ms);
}

void note_failure(vyr_sensor* sensor, const char* format, ...)
{
    if (sensor->error_detail[0] != '\0') {
        return;
    }
    // Once the link is gone that is the whole story; an open's search keeps its own words.
    const char* lost = sensor->is_active ? vyr_link_lost_text(sensor) : "";
    if (lost[0] != '\0') {
        std::snprintf(sensor->error_detail, sizeof sensor->error_detail, "%s", lost);
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    write_note(sensor, format, arguments);
    va_end(arguments);
}

void restate_failure(vyr_sensor* sensor, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_note(sensor, format, arguments);
    va_end(arguments);
}

char vyr_checksum(const char* text, int length)
{
    // Only the low six bits count, so a byte-wide sum that wraps gives the same.
    unsigned char sum = 0;
    for (int i = 0; i < length; ++i) {
        sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(text[i]));
    }
    return static_cast<char>((sum & 0x3f) + 0x30);
}

int exchange_command(vyr_sensor* sensor, const char* command, const int* expected_status,
                     int timeout_msec, char* reply, int reply_size)
{
    return exchange_reply(sensor, command, expected_status, timeout_msec, reply, reply_size,
                          nullptr);
}

int exchange_reply(vyr_sensor* sensor, const char* command, const int* expected_status,
                   int timeout_msec, char* reply, int reply_size, int* answer_is_text)
{
    if (answer_is_text != nullptr) {
        *answer_is_text = 0;
    }
    if (abort_pending(sensor)) {
        note_failure(sensor, "stopped by request");
        return fail(sensor, VYR_NO_RESPONSE);
    }
    drop_stray_input(sensor);
    const int n = static_cast<int>(std::strlen(command));
    if (connection_write(&sensor->connection, command, n) < n) {
        note_failure(sensor, "\"%.*s\" could not be sent", command_length(command), command);
        return fail(sensor, VYR_SEND_ERROR);
    }
    const long long sent_at = monotonic_ms();
    const int wait = first_wait(sensor, timeout_msec);

    Sensor_lines source(sensor);
    Reply_buffer stored(reply, reply_size);
    const kvt::Reply_frame frame{command,         n > 0 ? n - 1 : 0, kvt::Framing::engine,
                                 expected_status, nullptr,           timeout_msec};
    const kvt::Reply_outcome outcome = kvt::read_reply(source, frame, stored);
    if (answer_is_text != nullptr) {
        *answer_is_text = outcome.first_is_text;
    }
    const int quoted = command_length(command);
    int code = VYR_INVALID_RESPONSE;
    switch (outcome.end) {
    case kvt::Reply_end::complete:
        if (!outcome.accepted) {
            note_failure(sensor, "the sensor refused \"%.*s\"", quoted, command);
            return VYR_UNKNOWN_ERROR;
        }
        return outcome.lines;
    case kvt::Reply_end::no_answer:
    case kvt::Reply_end::cut:
        note_silence(sensor, command, outcome.end == kvt::Reply_end::cut, sent_at, wait);
        code = VYR_NO_RESPONSE;
        break;
    case kvt::Reply_end::status_checksum:
    case kvt::Reply_end::data_checksum:
        note_failure(sensor, "the answer to \"%.*s\" carries a wrong checksum", quoted, command);
        code = VYR_CHECKSUM_ERROR;
        break;
    case kvt::Reply_end::too_long:
        note_failure(sensor, "the answer to \"%.*s\" did not end within %d lines", quoted, command,
                     kvt::max_reply_lines);
        break;
    case kvt::Reply_end::wrong_echo:
    case kvt::Reply_end::bad_status:
    case kvt::Reply_end::late:
        note_not_protocol(sensor);
        break;
    }
    return end_failed_reply(sensor, code, outcome.last_length, timeout_msec, 0);
}

void drop_reply(vyr_sensor* sensor, int timeout_msec)
{
    char line[VYR_LINE_SIZE];
    for (int dropped = 0; dropped < VYR_MAX_DRAIN_LINES; ++dropped) {
        if (read_reply_line(sensor, line, VYR_LINE_SIZE, timeout_msec) <= 0) {
            return;
        }
    }
}

void drop_stray_input(vyr_sensor* sensor)
{
    if (sensor->is_active && sensor->data_pending) {
        return;
    }
    vyr_raw_discard_input(sensor);
}

int end_failed_reply(vyr_sensor* sensor, int code, int failed_length, int timeout_msec,
                     int stop_output)
{
    sensor->last_error = code;
    const bool output_drained = stop_output && sensor->data_pending;
    if (breaks_framing(code) && failed_length > 0 && !output_drained) {
        drop_reply(sensor, timeout_msec);
    }
    if (stop_output) {
        discard_pending(sensor, timeout_msec);
    }
    return code;
}

void drop_lines(vyr_sensor* sensor, int timeout_msec)
{
    char line[VYR_LINE_SIZE];
    for (int dropped = 0; dropped < VYR_MAX_DRAIN_LINES; ++dropped) {
        if (read_reply_line(sensor, line, VYR_LINE_SIZE, timeout_msec) < 0) {
            break;
        }
    }
    sensor->data_pending = 0;
}

void discard_pending(vyr_sensor* sensor, int timeout_msec)
{
    if (!sensor->data_pending && !sensor->laser_is_on) {
        return;
    }
    send_row(sensor, kvt::Command::stop);
    sensor->laser_is_on = 0;
    if (sensor->data_pending) {
        drop_lines(sensor, timeout_msec);
    }
}

int change_sensor_baudrate(vyr_sensor* sensor, long current_baudrate, long requested_baudrate)
{
    if (current_baudrate == requested_baudrate) {
        sensor->last_error = 0;
        return 0;
    }
    const kvt::Command_row& row = kvt::command_row(kvt::Command::baud_rate);
    char command[10];
    const int length = std::snprintf(command, sizeof command, row.text, requested_baudrate);
    if (length < 0 || length >= static_cast<int>(sizeof command)) {
        // A rate of more than six digits has no command form; never send it cut short.
        return fail(sensor, VYR_INVALID_PARAMETER);
    }
    if (exchange_command(sensor, command, row.accepted, row_timeout(sensor, row), nullptr, 0) <=
        0) {
        return fail(sensor, VYR_INVALID_PARAMETER);
    }
    const int result = connection_set_baudrate(&sensor->connection, requested_baudrate);
    if (sensor->data_pending) {
        drop_lines(sensor, VYR_OPEN_TIMEOUT);
    }
    sensor->last_error = result;
    return result;
}

int read_parameters(vyr_sensor* sensor)
{
    const kvt::Command_row& row = kvt::command_row(kvt::Command::parameters);
    // Zero-filled so that the walk below never meets bytes the exchange did not write.
    char reply[row.reply_size] = {};
    const int lines = exchange_row(sensor, row.id, reply, sizeof reply);
    if (lines < 0) {
        return lines;
    }
    if (lines < kvt::reply_lines(row)) {
        discard_pending(sensor, VYR_OPEN_TIMEOUT);
        return fail(sensor, VYR_INVALID_RESPONSE);
    }

    long long values[parameter_count] = {};
    unsigned found = 0;
    const char* text = reply;
    const char* const end = reply + sizeof reply;
    // Lines that did not fit were not stored, so the walk also stops at the buffer's end.
    for (int i = 0; i < lines - 1 && text < end; ++i, text += std::strlen(text) + 1) {
        for (int k = 0; k < parameter_count; ++k) {
            if (std::strncmp(text, parameter_table[k].key, 5) == 0 &&
                parse_decimal(text + 5, &values[k])) {
                found |= 1u << k;
                break;
            }
        }
    }
    if (found != (1u << parameter_count) - 1) {
        for (int k = 0; k < parameter_count; ++k) {
            if (!(found & (1u << k))) {
                note_failure(sensor, "the sensor reported no number for %.4s",
                             parameter_table[k].key);
                break;
            }
        }
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    const int stored = store_parameters(sensor, values);
    if (stored != 0) {
        return stored;
    }
    sensor->last_error = 0;
    return 0;
}

} // extern "C"

int row_timeout(const vyr_sensor* sensor, const kvt::Command_row& row)
{
    switch (row.wait) {
    case kvt::Wait::open:
        return VYR_OPEN_TIMEOUT;
    case kvt::Wait::sensor:
        return sensor->timeout_msec;
    case kvt::Wait::fixed:
        break;
    }
    return row.timeout_ms;
}

int exchange_row(vyr_sensor* sensor, kvt::Command command, char* reply, int reply_size)
{
    const kvt::Command_row& row = kvt::command_row(command);
    return exchange_command(sensor, row.text, row.accepted, row_timeout(sensor, row), reply,
                            reply_size);
}

bool send_row(vyr_sensor* sensor, kvt::Command command)
{
    const char* text = kvt::command_row(command).text;
    const int length = static_cast<int>(std::strlen(text));
    return connection_write(&sensor->connection, text, length) >= length;
}

Operation_clock::Operation_clock(vyr_sensor* sensor, long long budget_ms)
    : sensor_(sensor), refused_(abort_pending(sensor) != 0)
{
    if (sensor->operation_depth++ == 0) {
        sensor->deadline_ms = monotonic_ms() + budget_ms;
        sensor->error_detail[0] = '\0';
    }
    if (refused_) {
        note_failure(sensor, "stopped by request");
    }
}

Operation_clock::~Operation_clock()
{
    --sensor_->operation_depth;
}

Deadline_share::Deadline_share(vyr_sensor* sensor, long long budget_ms)
    : sensor_(sensor), outer_deadline_(sensor->deadline_ms)
{
    const long long end = monotonic_ms() + budget_ms;
    if (sensor->operation_depth > 0 && end < sensor->deadline_ms) {
        sensor->deadline_ms = end;
    }
}

Deadline_share::~Deadline_share()
{
    sensor_->deadline_ms = outer_deadline_;
}

long long exchange_budget(int timeout_msec)
{
    // A time-out of 0 or below has no end of its own; the margin alone bounds it.
    return (timeout_msec > 0 ? timeout_msec : 0) + static_cast<long long>(VYR_EXCHANGE_MARGIN);
}
