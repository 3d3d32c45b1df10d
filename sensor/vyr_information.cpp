#include "vyr_information.h"

#include "vyr_exchange.h"
#include "vyr_measurement.h"

#include <cstring>

namespace {

const char not_connected_text[] = "not connected.";
const char receive_error_text[] = "receive error.";

const int status_ok[] = {0, -1};

struct info_query
{
    const char* command;
    int expected_lines;
    int reply_size;
    const char* key;
    const char* terminators;
};

const info_query product_query = {"VV\n", 7, 504, "PROD:", ";"};
const info_query serial_query = {"VV\n", 7, 504, "SERI:", ";"};
const info_query firmware_query = {"VV\n", 7, 504, "FIRM:", " ("};
const info_query status_query = {"II\n", 9, 648, "STAT:", ";"};
const info_query state_query = {"II\n", 9, 648, "MESM:", " ("};

const int largest_reply = 648;

// Null on success, else the text the query gives instead of a value.
const char* query_info(vyr_sensor* sensor, char* reply, int reply_size, const char* command,
                       int expected_lines)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return not_connected_text;
    }
    if (clock.refused()) {
        sensor->last_error = VYR_NO_RESPONSE;
        return receive_error_text;
    }
    std::memset(reply, 0, reply_size);
    const int lines =
        exchange_command(sensor, command, status_ok, sensor->timeout_msec, reply, reply_size);
    if (lines < expected_lines) {
        if (lines >= 0) {
            note_failure(sensor, "the answer to \"%.2s\" holds %d lines instead of %d", command,
                         lines, expected_lines);
        }
        return receive_error_text;
    }
    return nullptr;
}

// Walks count stored strings of reply, never past reply_size; a skipped
// oversized line means fewer strings than lines.
char* find_info_field(char* destination, char* reply, int reply_size, const char* key,
                      const char* terminators, int count)
{
    const size_t key_length = std::strlen(key);
    for (const char* terminator = terminators; *terminator; ++terminator) {
        char* text = reply;
        for (int i = 0; i < count && text < reply + reply_size; ++i) {
            const size_t length = strnlen(text, reply + reply_size - text);
            if (length >= key_length && std::strncmp(text, key, key_length) == 0) {
                char* end = static_cast<char*>(
                    std::memchr(text + key_length, *terminator, length - key_length));
                if (end) {
                    *end = '\0';
                    std::strncpy(destination, text + key_length, VYR_INFO_TEXT_SIZE - 1);
                    destination[VYR_INFO_TEXT_SIZE - 1] = '\0';
                    return destination;
                }
            }
            text += length + 1;
        }
    }
    return nullptr;
}

const char* info_value(vyr_sensor* sensor, const info_query& query)
{
    char reply[largest_reply];
    const char* failure =
        query_info(sensor, reply, query.reply_size, query.command, query.expected_lines);
    if (failure) {
        return failure;
    }
    if (!find_info_field(sensor->info_text, reply, query.reply_size, query.key, query.terminators,
                         query.expected_lines)) {
        return receive_error_text;
    }
    return sensor->info_text;
}

int time_adjust(vyr_sensor* sensor, const char* command)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    if (exchange_command(sensor, command, status_ok, sensor->timeout_msec, nullptr, 0) > 0) {
        return 0;
    }
    return fail(sensor, VYR_INVALID_RESPONSE);
}

} // namespace

const char* vyr_product(vyr_sensor* sensor)
{
    return info_value(sensor, product_query);
}

const char* vyr_serial_number(vyr_sensor* sensor)
{
    return info_value(sensor, serial_query);
}

const char* vyr_firmware_version(vyr_sensor* sensor)
{
    return info_value(sensor, firmware_query);
}

const char* vyr_sensor_status(vyr_sensor* sensor)
{
    return info_value(sensor, status_query);
}

const char* vyr_measurement_state(vyr_sensor* sensor)
{
    return info_value(sensor, state_query);
}

int vyr_is_stable(vyr_sensor* sensor)
{
    return std::strncmp(vyr_sensor_status(sensor), "Stable", 6) == 0 ? 1 : 0;
}

int vyr_time_adjust_begin(vyr_sensor* sensor)
{
    return time_adjust(sensor, "TM0\n");
}

int vyr_time_adjust_end(vyr_sensor* sensor)
{
    return time_adjust(sensor, "TM2\n");
}

int vyr_read_sensor_time(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    char reply[VYR_LINE_SIZE] = {};
    const int result =
        exchange_command(sensor, "TM1\n", status_ok, sensor->timeout_msec, reply, sizeof reply);
    if (result < 0) {
        return result;
    }
    const char* time_line = reply + 4;
    if (std::strcmp(reply, "00P") != 0 || std::strlen(time_line) != 5) {
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    if (time_line[4] != vyr_checksum(time_line, 4)) {
        return fail(sensor, VYR_CHECKSUM_ERROR);
    }
    return static_cast<int>(vyr_decode(time_line, 4));
}

int vyr_sleep(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, VYR_STOP_BUDGET + exchange_budget(VYR_OPEN_TIMEOUT));
    const int stopped = vyr_stop_scans(sensor);
    if (stopped != 0) {
        return stopped;
    }
    char reply[4];
    return exchange_command(sensor, "%SL\n", status_ok, VYR_OPEN_TIMEOUT, reply, sizeof reply);
}

int vyr_wake(vyr_sensor* sensor)
{
    return vyr_stop_scans(sensor);
}
