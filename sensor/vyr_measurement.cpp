#include "vyr_measurement.h"

#include "measurement_kinds.h"
#include "scan_decoding.h"
#include "vyr_exchange.h"

#include "ticks.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

enum reply_kind { VYR_STOP_REPLY = 4, VYR_UNKNOWN_REPLY = 5 };

// A continuous request is acknowledged once; more than this many in a row is no sensor.
const int max_acknowledgements = 8;

// failed_length: the length of the line the failure was found on (see end_failed_reply).
int fail_after_discard(vyr_sensor* sensor, int code, int failed_length)
{
    return end_failed_reply(sensor, code, failed_length, sensor->timeout_msec, 1);
}

int echo_timeout(const vyr_sensor* sensor)
{
    // Wide: the time-out is the caller's to set, up to INT_MAX.
    const long long wait =
        static_cast<long long>(sensor->timeout_msec) +
        2LL * (static_cast<long long>(sensor->scan_usec) * sensor->skip_scans / 1000);
    return wait > INT_MAX ? INT_MAX : static_cast<int>(wait);
}

int read_line(vyr_sensor* sensor, char* buffer, int size, int timeout_msec)
{
    return read_reply_line(sensor, buffer, size, timeout_msec);
}

void note_scan_silence(vyr_sensor* sensor, bool started)
{
    if (abort_pending(sensor)) {
        note_failure(sensor, "stopped by request");
    } else if (started) {
        note_failure(sensor, "the scan did not complete in time");
    } else {
        note_failure(sensor, "no scan within %d ms", echo_timeout(sensor));
    }
}

// What a scan read may take: the wait for its echo, the time-out for the rest, and on a
// serial line the time the largest scan the request allows needs on the wire.
long long scan_budget(const vyr_sensor* sensor, int echo_slots, bool intensity)
{
    long long budget =
        static_cast<long long>(echo_timeout(sensor)) + sensor->timeout_msec + VYR_EXCHANGE_MARGIN;
    if (sensor->line_rate > 0) {
        const long long steps = static_cast<long long>(sensor->last_step) - sensor->first_step + 1;
        const long long characters = steps * echo_slots * (intensity ? 7 : 4);
        const long long bytes = characters + 2 * (characters / 64 + 1) + 2 * VYR_LINE_SIZE;
        budget += bytes * 10 * 1000 / sensor->line_rate;
    }
    return budget;
}

bool has_intensity(int kind)
{
    const kvt::Measurement_kind* row = kvt::engine_measurement_kind(kind);
    return row && row->intensity;
}

int kind_echo_slots(int kind)
{
    const kvt::Measurement_kind* row = kvt::engine_measurement_kind(kind);
    return row ? row->echo_slots : 1;
}

bool is_request_letter(char letter, char kvt::Measurement_kind::*which)
{
    for (const kvt::Measurement_kind& row : kvt::measurement_kinds) {
        if (row.*which == letter) {
            return true;
        }
    }
    return false;
}

int decimal(const char* text, int length)
{
    char digits[8] = {};
    std::memcpy(digits, text, length);
    int value = 0;
    std::sscanf(digits, "%d", &value);
    return value;
}

int parse_scan_echo(vyr_sensor* sensor, const char* echo)
{
    const kvt::Measurement_kind* row = kvt::measurement_kind_of_echo(echo[0], echo[1]);
    if (!row) {
        return VYR_UNKNOWN_REPLY;
    }
    sensor->received_first_step = decimal(echo + 2, 4);
    sensor->received_last_step = decimal(echo + 6, 4);
    return row->engine_type;
}

int classify_echo(vyr_sensor* sensor, const char* echo, int length)
{
    if (kvt::is_echo_line(echo, kvt::command_row(kvt::Command::stop))) {
        return VYR_STOP_REPLY;
    }
    if ((length == 12 && is_request_letter(echo[0], &kvt::Measurement_kind::single_letter)) ||
        (length == 15 && is_request_letter(echo[0], &kvt::Measurement_kind::continuous_letter))) {
        return parse_scan_echo(sensor, echo);
    }
    return VYR_UNKNOWN_REPLY;
}

// The caller's arrays are sized for steps 0..area_max; an echo announcing more
// would let a faulty device write past them.
bool announced_range_fits(const vyr_sensor* sensor)
{
    return sensor->received_first_step >= 0 &&
           sensor->received_first_step <= sensor->received_last_step &&
           sensor->received_last_step <= sensor->area_max;
}

bool is_digit_pair(const char* text)
{
    return text[0] >= '0' && text[0] <= '9' && text[1] >= '0' && text[1] <= '9';
}

void note_not_protocol(vyr_sensor* sensor)
{
    note_failure(sensor, "the device answered, but not in the sensor's protocol");
}

bool starts_with(const char* text, const char* head)
{
    return std::strncmp(text, head, std::strlen(head)) == 0;
}

// Decodes the data lines of one scan in place in line (VYR_LINE_SIZE bytes): each
// line is read behind the characters the last one left undecoded, as a value or
// its '&' may continue on the next line.
int receive_data_block(vyr_sensor* sensor, long* distance, unsigned short* intensity, int kind,
                       char* line)
{
    const Scan_layout layout{distance, intensity, has_intensity(kind), kind_echo_slots(kind),
                             sensor->received_last_step - sensor->received_first_step};
    Scan_cursor cursor;
    int carried = 0;
    for (int lines = 0;; ++lines) {
        // Lines without values would otherwise never reach the step check.
        if (lines == VYR_MAX_SCAN_LINES) {
            note_failure(sensor, "the scan did not end within %d lines",
                         static_cast<int>(VYR_MAX_SCAN_LINES));
            return fail_after_discard(sensor, VYR_INVALID_RESPONSE, 1);
        }
        char* text = line + carried;
        const int length = read_line(sensor, text, VYR_LINE_SIZE - carried, sensor->timeout_msec);
        if (length < 0) {
            // Cut short: the steps so far are not a scan.
            note_scan_silence(sensor, true);
            return fail_after_discard(sensor, VYR_NO_RESPONSE, length);
        }
        if (length == 0) {
            return cursor.step;
        }
        // The whole line is checked before any of its values is stored.
        const int data_length = length - 1;
        if (text[data_length] != vyr_checksum(text, data_length)) {
            note_failure(sensor, "a scan line carries a wrong checksum");
            return fail_after_discard(sensor, VYR_CHECKSUM_ERROR, length);
        }
        const int available = carried + data_length;
        const int used = decode_scan_values(layout, cursor, line, available);
        if (used < 0) {
            note_failure(sensor, "the scan holds more steps than its echo announced");
            return fail_after_discard(sensor, VYR_RECEIVE_ERROR, length);
        }
        carried = available - used;
        std::memmove(line, line + used, carried);
    }
}

void count_received_scan(vyr_sensor* sensor)
{
    if (sensor->scan_count_requested > 1 && sensor->scans_remaining > 0) {
        --sensor->scans_remaining;
        if (sensor->scans_remaining == 0) {
            vyr_stop_scans(sensor);
        }
    }
}

// Reads echo and status up to the reply whose data follow, past the acknowledgement
// of a continuous request (the first scan follows it). Returns that reply's kind,
// VYR_STOP_REPLY once a whole stop reply is read, or a negative code.
int read_reply_head(vyr_sensor* sensor, char* line)
{
    for (int replies = 0;; ++replies) {
        if (replies == max_acknowledgements) {
            note_not_protocol(sensor);
            return fail_after_discard(sensor, VYR_INVALID_RESPONSE, 0);
        }
        int length = read_line(sensor, line, VYR_LINE_SIZE, echo_timeout(sensor));
        if (length <= 0) {
            if (length < 0) {
                note_scan_silence(sensor, false);
            } else {
                note_not_protocol(sensor);
            }
            return fail(sensor, VYR_NO_RESPONSE);
        }
        const int kind = classify_echo(sensor, line, length);

        length = read_line(sensor, line, VYR_LINE_SIZE, sensor->timeout_msec);
        if (length < 0) {
            note_scan_silence(sensor, true);
        } else if (length != 3) {
            note_not_protocol(sensor);
        }
        if (length != 3) {
            return fail_after_discard(sensor, VYR_INVALID_RESPONSE, length);
        }
        if (line[2] != vyr_checksum(line, 2)) {
            note_failure(sensor, "a scan's status line carries a wrong checksum");
            return fail_after_discard(sensor, VYR_CHECKSUM_ERROR, length);
        }

        if (kind == VYR_STOP_REPLY) {
            length = read_line(sensor, line, VYR_LINE_SIZE, sensor->timeout_msec);
            if (length == 0) {
                return VYR_STOP_REPLY;
            }
            return end_failed_reply(sensor, VYR_INVALID_RESPONSE, length, sensor->timeout_msec, 0);
        }
        const bool single = sensor->scan_count_requested == 1;
        if ((single && starts_with(line, kvt::protocol::scan_acknowledged)) ||
            (!single && starts_with(line, kvt::protocol::scan_follows))) {
            return kind;
        }
        if (single || !starts_with(line, kvt::protocol::scan_acknowledged)) {
            note_failure(sensor, "the sensor refused the measurement (status %.2s)",
                         is_digit_pair(line) ? line : "??");
            return fail_after_discard(sensor, VYR_INVALID_RESPONSE, length);
        }
        length = read_line(sensor, line, VYR_LINE_SIZE, sensor->timeout_msec);
        if (length != 0) {
            return fail_after_discard(sensor, VYR_INVALID_RESPONSE, length);
        }
    }
}

// The data lines after the time stamp, whose line had stamp_length characters.
int receive_scan_data(vyr_sensor* sensor, int kind, long* distance, unsigned short* intensity,
                      int slots, int stamp_length, char* line)
{
    if (kind == VYR_UNKNOWN_REPLY) {
        // Its data lines are not ours to decode, but they must not pass for the next reply.
        if (stamp_length > 0) {
            drop_reply(sensor, sensor->timeout_msec);
        }
        return 0;
    }
    if (!announced_range_fits(sensor)) {
        note_failure(sensor, "the scan announced steps %d to %d, outside 0..%d",
                     sensor->received_first_step, sensor->received_last_step, sensor->area_max);
        return fail_after_discard(sensor, VYR_RECEIVE_ERROR, stamp_length);
    }
    if (kind_echo_slots(kind) > slots) {
        note_failure(sensor, "a multi-echo scan came for a single-echo read");
        // The kind comes from the device's echo: a multi-echo reply to a single-echo
        // read would store three values per step in arrays sized for one.
        return fail_after_discard(sensor, VYR_MEASUREMENT_TYPE_MISMATCH, stamp_length);
    }
    return receive_data_block(sensor, distance, has_intensity(kind) ? intensity : nullptr, kind,
                              line);
}

// echo_slots: values per step the caller's arrays hold (1, or 3 for the multi-echo reads).
int receive_scan(vyr_sensor* sensor, long* distance, unsigned short* intensity, long* time_stamp,
                 int echo_slots)
{
    char line[VYR_LINE_SIZE];
    const int kind = read_reply_head(sensor, line);
    if (kind < 0) {
        return kind;
    }
    if (kind == VYR_STOP_REPLY) {
        return 0;
    }

    const int stamp_length = read_line(sensor, line, sizeof line, sensor->timeout_msec);
    if (stamp_length < 0) {
        note_scan_silence(sensor, true);
        return fail_after_discard(sensor, VYR_NO_RESPONSE, stamp_length);
    }
    if (stamp_length >= 4 && time_stamp) {
        *time_stamp = vyr_decode(line, 4);
    }
    const int result =
        receive_scan_data(sensor, kind, distance, intensity, echo_slots, stamp_length, line);
    count_received_scan(sensor);
    return result;
}

// Passes over the scans the sensor sent before it took the stop command, up to
// its "QT" echo, status and empty line. Without them the sensor may still be
// measuring: the caller keeps the state that says so.
int read_stop_reply(vyr_sensor* sensor)
{
    char line[VYR_LINE_SIZE];
    for (int lines = 0; lines < VYR_MAX_DRAIN_LINES; ++lines) {
        int length = read_line(sensor, line, sizeof line, echo_timeout(sensor));
        if (length < 0) {
            return fail(sensor, VYR_NO_RESPONSE);
        }
        if (!kvt::is_echo_line(line, kvt::command_row(kvt::Command::stop))) {
            continue;
        }
        length = read_line(sensor, line, sizeof line, sensor->timeout_msec);
        if (length != 3) {
            return end_failed_reply(sensor, length < 0 ? VYR_NO_RESPONSE : VYR_INVALID_RESPONSE,
                                    length, sensor->timeout_msec, 0);
        }
        if (line[2] != vyr_checksum(line, 2)) {
            return end_failed_reply(sensor, VYR_CHECKSUM_ERROR, length, sensor->timeout_msec, 0);
        }
        length = read_line(sensor, line, sizeof line, sensor->timeout_msec);
        if (length != 0) {
            return end_failed_reply(sensor, length < 0 ? VYR_NO_RESPONSE : VYR_INVALID_RESPONSE,
                                    length, sensor->timeout_msec, 0);
        }
        return 0;
    }
    return fail(sensor, VYR_INVALID_RESPONSE);
}

int send_scan_request(vyr_sensor* sensor, int scan_count, int skip_scans,
                      const kvt::Measurement_kind& kind)
{
    const int count = scan_count < 0 ? 0 : scan_count;
    sensor->scan_count_requested = count;
    sensor->scans_remaining = count;
    sensor->skip_scans = skip_scans < 0 ? 0 : skip_scans;
    if (scan_count > 99) {
        sensor->scan_count_requested = 0;
    }

    drop_stray_input(sensor); // before a series counts as running
    char request[VYR_LINE_SIZE];
    const int first = sensor->area_front + sensor->first_step;
    const int last = sensor->area_front + sensor->last_step;
    int length;
    if (count == 1) {
        vyr_laser_on(sensor);
        length =
            std::snprintf(request, sizeof request, kvt::command_row(kvt::Command::scan_single).text,
                          kind.single_letter, kind.data_letter, first, last, sensor->skip_step);
    } else {
        length =
            std::snprintf(request, sizeof request, kvt::command_row(kvt::Command::scan_series).text,
                          kind.continuous_letter, kind.data_letter, first, last, sensor->skip_step,
                          skip_scans, sensor->scan_count_requested);
        sensor->data_pending = 1;
    }
    if (connection_write(&sensor->connection, request, length) < length) {
        return fail(sensor, VYR_SEND_ERROR);
    }
    return 0;
}

int read_scan(vyr_sensor* sensor, long* distance, unsigned short* intensity, long* time_stamp,
              int echo_slots)
{
    Operation_clock clock(sensor, scan_budget(sensor, echo_slots, intensity != nullptr));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    return receive_scan(sensor, distance, intensity, time_stamp, echo_slots);
}

} // namespace

long vyr_decode(const char* text, int length)
{
    // Unsigned, so that a long or odd text wraps instead of overflowing.
    unsigned long value = 0;
    for (int i = 0; i < length; ++i) {
        value = value * 64u + (static_cast<unsigned char>(text[i]) - 0x30u);
    }
    return static_cast<long>(value);
}

int vyr_laser_on(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    if (sensor->laser_is_on) {
        sensor->last_error = VYR_NO_ERROR;
        return 0;
    }
    const int result = exchange_row(sensor, kvt::Command::laser_on);
    if (result < 0) {
        return result;
    }
    sensor->laser_is_on = 1;
    return 0;
}

int vyr_laser_off(vyr_sensor* sensor)
{
    return vyr_stop_scans(sensor);
}

int vyr_set_scan_range(vyr_sensor* sensor, int first_step, int last_step, int skip_step)
{
    if (skip_step < 0 || skip_step > 99 || first_step > last_step ||
        first_step < -sensor->area_front || last_step > sensor->area_max - sensor->area_front) {
        return fail(sensor, VYR_SCANNING_PARAMETER_ERROR);
    }
    sensor->first_step = first_step;
    sensor->last_step = last_step;
    sensor->skip_step = skip_step;
    sensor->last_error = VYR_NO_ERROR;
    return 0;
}

int vyr_start_scans(vyr_sensor* sensor, int type, int scan_count, int skip_scans)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    const kvt::Measurement_kind* kind = kvt::engine_measurement_kind(type);
    if (skip_scans < 0 || skip_scans > 9 || !kind) {
        return fail_after_discard(sensor, VYR_INVALID_PARAMETER, 0);
    }
    return send_scan_request(sensor, scan_count, skip_scans, *kind);
}

int vyr_read_distance(vyr_sensor* sensor, long* distance, long* time_stamp)
{
    return read_scan(sensor, distance, nullptr, time_stamp, 1);
}

int vyr_read_distance_intensity(vyr_sensor* sensor, long* distance, unsigned short* intensity,
                                long* time_stamp)
{
    return read_scan(sensor, distance, intensity, time_stamp, 1);
}

int vyr_read_multiecho(vyr_sensor* sensor, long* distance, long* time_stamp)
{
    return read_scan(sensor, distance, nullptr, time_stamp, 3);
}

int vyr_read_multiecho_intensity(vyr_sensor* sensor, long* distance, unsigned short* intensity,
                                 long* time_stamp)
{
    return read_scan(sensor, distance, intensity, time_stamp, 3);
}

int vyr_stop_scans(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, VYR_STOP_BUDGET);
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    const long long started = monotonic_ms();
    // Scans queued before the stop are of no use to anyone now.
    connection_discard_input(&sensor->connection);
    if (!send_row(sensor, kvt::Command::stop)) {
        note_failure(sensor, "\"QT\" could not be sent; the sensor may still be measuring");
        return fail(sensor, VYR_SEND_ERROR);
    }
    const int result = read_stop_reply(sensor);
    if (result == 0) {
        sensor->laser_is_on = 0;
        sensor->data_pending = 0;
        sensor->last_error = VYR_NO_ERROR;
    } else if (!abort_pending(sensor)) {
        // laser_is_on and data_pending stay: the sensor may still be measuring.
        restate_failure(sensor,
                        "\"QT\" was not confirmed within %lld ms; the sensor may still "
                        "be measuring",
                        monotonic_ms() - started);
    }
    return result;
}
