#include "vyr_exchange.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_expected(const int* expected_status, long value)
{
    for (const int* s = expected_status; *s != -1; ++s) {
        if (*s == value) {
            return true;
        }
    }
    return false;
}

// Accepts "value;checksum" lines too, whose checksum leaves out the separator.
bool checksum_matches(const char* line, int length)
{
    const char last = line[length - 1];
    if (last == vyr_checksum(line, length - 1)) {
        return true;
    }
    return last == vyr_checksum(line, length > 2 ? length - 2 : 0);
}

// Leading decimal number of text; false when there is none. Saturates at the int range.
bool parse_decimal(const char* text, int* value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text) {
        return false;
    }
    *value = parsed > INT_MAX ? INT_MAX : parsed < INT_MIN ? INT_MIN : static_cast<int>(parsed);
    return true;
}

bool is_text(const char* line, int length)
{
    for (int i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// The failures after which the rest of a reply may still be on its way. A read
// that failed has nothing left to read; the next command drops what comes late.
bool breaks_framing(int code)
{
    return code == VYR_INVALID_RESPONSE || code == VYR_CHECKSUM_ERROR ||
           code == VYR_RECEIVE_ERROR || code == VYR_MEASUREMENT_TYPE_MISMATCH;
}

int difference(int a, int b)
{
    return static_cast<int>(static_cast<long long>(a) - b);
}

// The status line, the one after the echo: 0 with accepted set, or the failure's code.
// A lone character passes without a status.
int judge_status(const char* line, int length, const int* expected_status, bool& accepted)
{
    if (length == 1) {
        accepted = true;
        return 0;
    }
    if (length > 0 && !checksum_matches(line, length)) {
        return VYR_CHECKSUM_ERROR;
    }
    if (length != 3) {
        return VYR_INVALID_RESPONSE;
    }
    accepted = is_expected(expected_status, std::strtol(line, nullptr, 10));
    return 0;
}

} // namespace

extern "C" {

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
    drop_stray_input(sensor);
    const int n = static_cast<int>(std::strlen(command));
    if (connection_write(&sensor->connection, command, n) < n) {
        return fail(sensor, VYR_SEND_ERROR);
    }
    if (reply != nullptr && reply_size > 0) {
        reply[0] = '\0';
    }

    char line[VYR_LINE_SIZE];
    int stored = 0;
    bool accepted = false;
    int length = 0;
    const auto failed = [&](int code) {
        return end_failed_reply(sensor, code, length, timeout_msec, 0);
    };
    for (int index = 0; index < VYR_MAX_REPLY_LINES; ++index) {
        length = connection_readline(&sensor->connection, line, VYR_LINE_SIZE, timeout_msec);
        if (length < 0) {
            return failed(VYR_NO_RESPONSE);
        }
        if (index == 0) {
            if (answer_is_text != nullptr) {
                *answer_is_text = is_text(line, length);
            }
            if (length < n - 1 || std::strncmp(line, command, n - 1) != 0) {
                return failed(VYR_INVALID_RESPONSE);
            }
            continue;
        }
        if (reply != nullptr && length + 1 <= reply_size - stored) {
            std::memcpy(reply + stored, line, length + 1);
            stored += length + 1;
        }
        if (index == 1) {
            const int code = judge_status(line, length, expected_status, accepted);
            if (code != 0) {
                return failed(code);
            }
            continue;
        }
        if (length == 0) {
            return accepted ? index : VYR_UNKNOWN_ERROR;
        }
        if (!checksum_matches(line, length)) {
            return failed(VYR_CHECKSUM_ERROR);
        }
    }
    return failed(VYR_INVALID_RESPONSE);
}

void drop_reply(vyr_sensor* sensor, int timeout_msec)
{
    char line[VYR_LINE_SIZE];
    for (int dropped = 0; dropped < VYR_MAX_DRAIN_LINES; ++dropped) {
        if (connection_readline(&sensor->connection, line, VYR_LINE_SIZE, timeout_msec) <= 0) {
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
        if (connection_readline(&sensor->connection, line, VYR_LINE_SIZE, timeout_msec) < 0) {
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
    connection_write(&sensor->connection, "QT\n", 3);
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
    char command[10];
    const int length = std::snprintf(command, sizeof command, "SS%06ld\n", requested_baudrate);
    if (length < 0 || length >= static_cast<int>(sizeof command)) {
        // A rate of more than six digits has no command form; never send it cut short.
        return fail(sensor, VYR_INVALID_PARAMETER);
    }
    static const int expected[] = {0, 3, 4, -1};
    if (exchange_command(sensor, command, expected, sensor->timeout_msec, nullptr, 0) <= 0) {
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
    static const int expected[] = {0, -1};
    // Zero-filled so that the walk below never meets bytes the exchange did not write.
    char reply[648] = {};
    const int lines =
        exchange_command(sensor, "PP\n", expected, VYR_OPEN_TIMEOUT, reply, sizeof reply);
    if (lines < 0) {
        return lines;
    }
    if (lines < 10) {
        discard_pending(sensor, VYR_OPEN_TIMEOUT);
        return fail(sensor, VYR_INVALID_RESPONSE);
    }

    static const char* const keys[] = {
        "DMIN:", "DMAX:", "ARES:", "AMIN:", "AMAX:", "AFRT:", "SCAN:"};
    int* const fields[] = {&sensor->distance_min, &sensor->distance_max, &sensor->area_resolution,
                           &sensor->area_min,     &sensor->area_max,     &sensor->area_front};
    unsigned found = 0;
    const char* text = reply;
    const char* const end = reply + sizeof reply;
    // Lines that did not fit were not stored, so the walk also stops at the buffer's end.
    for (int i = 0; i < lines - 1 && text < end; ++i, text += std::strlen(text) + 1) {
        for (int k = 0; k < 7; ++k) {
            if (std::strncmp(text, keys[k], 5) != 0) {
                continue;
            }
            int value = 0;
            const bool has_number = parse_decimal(text + 5, &value);
            if (k < 6) {
                *fields[k] = value;
            } else if (has_number && value > 0 && (60000000 / value) >> 6 > 0) {
                sensor->scan_usec = 60000000 / value;
                sensor->timeout_msec = sensor->scan_usec >> 6;
            } else {
                // No usable scan rate: a zero or negative time-out would mean waiting forever.
                break;
            }
            found |= 1u << k;
            break;
        }
    }
    if (found != 0x7f) {
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    if (sensor->area_min >= 0 && sensor->area_max >= sensor->area_min) {
        sensor->first_step = difference(sensor->area_min, sensor->area_front);
        sensor->last_step = difference(sensor->area_max, sensor->area_front);
        sensor->skip_step = 1;
    }
    sensor->last_error = 0;
    return 0;
}

} // extern "C"
