#include "vyr_information.h"

#include "vyr_exchange.h"
#include "vyr_measurement.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

// One command's reply, read once for any number of its keys.
struct info_reply
{
    const char* command;
    int expected_lines;
    int reply_size;
};

constexpr info_reply reply_of(kvt::Command command)
{
    return {kvt::command_row(command).text, kvt::reply_lines(kvt::command_row(command)),
            kvt::command_row(command).reply_size};
}

constexpr info_reply version_reply = reply_of(kvt::Command::version);
constexpr info_reply state_reply = reply_of(kvt::Command::state);
constexpr int largest_reply = std::max(version_reply.reply_size, state_reply.reply_size);

struct info_field
{
    const char* key;
    const char* terminators;
};

const info_field product_field = {"PROD:", ";"};
const info_field serial_field = {"SERI:", ";"};
const info_field firmware_field = {"FIRM:", " ("};
const info_field status_field = {"STAT:", ";"};
const info_field state_field = {"MESM:", " ("};

// 0 on success, else VYR_NOT_CONNECTED or VYR_RECEIVE_ERROR, whose texts the query gives
// instead of a value.
int query_info(vyr_sensor* sensor, char* reply, const info_reply& query)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    if (clock.refused()) {
        sensor->last_error = VYR_NO_RESPONSE;
        return VYR_RECEIVE_ERROR;
    }
    std::memset(reply, 0, query.reply_size);
    const int lines = exchange_command(sensor, query.command, kvt::protocol::status_zero,
                                       sensor->timeout_msec, reply, query.reply_size);
    if (lines < query.expected_lines) {
        if (lines >= 0) {
            note_failure(sensor, "the answer to \"%.2s\" holds %d lines instead of %d",
                         query.command, lines, query.expected_lines);
        }
        return VYR_RECEIVE_ERROR;
    }
    return VYR_NO_ERROR;
}

// Walks count stored strings of reply, never past reply_size; a skipped
// oversized line means fewer strings than lines. The reply is left as it is, so
// that one reply serves several keys.
bool find_info_field(char* destination, const char* reply, const info_reply& query,
                     const info_field& field)
{
    const char* const reply_end = reply + query.reply_size;
    const size_t key_length = std::strlen(field.key);
    for (const char* terminator = field.terminators; *terminator; ++terminator) {
        const char* text = reply;
        for (int i = 0; i < query.expected_lines && text < reply_end; ++i) {
            const size_t length = strnlen(text, reply_end - text);
            if (length >= key_length && std::strncmp(text, field.key, key_length) == 0) {
                const char* value = text + key_length;
                const char* end =
                    static_cast<const char*>(std::memchr(value, *terminator, length - key_length));
                if (end) {
                    const size_t size = std::min<size_t>(end - value, VYR_INFO_TEXT_SIZE - 1);
                    std::memcpy(destination, value, size);
                    destination[size] = '\0';
                    return true;
                }
            }
            text += length + 1;
        }
    }
    return false;
}

struct wanted_value
{
    const info_field& field;
    vyr_info_value* value;
};

int read_values(vyr_sensor* sensor, const info_reply& query,
                std::initializer_list<wanted_value> wanted)
{
    for (const wanted_value& each : wanted) {
        each.value->found = 0;
        each.value->text[0] = '\0';
    }
    char reply[largest_reply];
    int failure = query_info(sensor, reply, query);
    if (failure) {
        return failure;
    }
    for (const wanted_value& each : wanted) {
        each.value->found = find_info_field(each.value->text, reply, query, each.field) ? 1 : 0;
        if (!each.value->found) {
            failure = VYR_RECEIVE_ERROR;
        }
    }
    return failure;
}

const char* failure_text(int failure)
{
    return failure ? vyr_error_message(failure) : nullptr;
}

const char* info_value(vyr_sensor* sensor, const info_reply& query, const info_field& field)
{
    char reply[largest_reply];
    const int failure = query_info(sensor, reply, query);
    if (failure) {
        return vyr_error_message(failure);
    }
    if (!find_info_field(sensor->info_text, reply, query, field)) {
        return vyr_error_message(VYR_RECEIVE_ERROR);
    }
    return sensor->info_text;
}

int time_adjust(vyr_sensor* sensor, kvt::Command command)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    if (exchange_row(sensor, command) > 0) {
        return 0;
    }
    return fail(sensor, VYR_INVALID_RESPONSE);
}

} // namespace

const char* vyr_product(vyr_sensor* sensor)
{
    return info_value(sensor, version_reply, product_field);
}

const char* vyr_serial_number(vyr_sensor* sensor)
{
    return info_value(sensor, version_reply, serial_field);
}

const char* vyr_firmware_version(vyr_sensor* sensor)
{
    return info_value(sensor, version_reply, firmware_field);
}

const char* vyr_sensor_status(vyr_sensor* sensor)
{
    return info_value(sensor, state_reply, status_field);
}

const char* vyr_measurement_state(vyr_sensor* sensor)
{
    return info_value(sensor, state_reply, state_field);
}

int vyr_query_version(vyr_sensor* sensor, vyr_info_value* product, vyr_info_value* firmware_version,
                      vyr_info_value* serial_number)
{
    return read_values(sensor, version_reply,
                       {{product_field, product},
                        {firmware_field, firmware_version},
                        {serial_field, serial_number}});
}

int vyr_query_state(vyr_sensor* sensor, vyr_info_value* sensor_status,
                    vyr_info_value* measurement_state)
{
    return read_values(sensor, state_reply,
                       {{status_field, sensor_status}, {state_field, measurement_state}});
}

const char* vyr_read_version(vyr_sensor* sensor, vyr_info_value* product,
                             vyr_info_value* firmware_version, vyr_info_value* serial_number)
{
    return failure_text(vyr_query_version(sensor, product, firmware_version, serial_number));
}

const char* vyr_read_state(vyr_sensor* sensor, vyr_info_value* sensor_status,
                           vyr_info_value* measurement_state)
{
    return failure_text(vyr_query_state(sensor, sensor_status, measurement_state));
}

int vyr_status_is_stable(const char* sensor_status)
{
    return std::strncmp(sensor_status, "Stable", 6) == 0 ? 1 : 0;
}

int vyr_is_stable(vyr_sensor* sensor)
{
    return vyr_status_is_stable(vyr_sensor_status(sensor));
}

int vyr_time_adjust_begin(vyr_sensor* sensor)
{
    return time_adjust(sensor, kvt::Command::time_adjust_on);
}

int vyr_time_adjust_end(vyr_sensor* sensor)
{
    return time_adjust(sensor, kvt::Command::time_adjust_off);
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
    char reply[kvt::command_row(kvt::Command::sensor_time).reply_size] = {};
    const int result = exchange_row(sensor, kvt::Command::sensor_time, reply, sizeof reply);
    if (result < 0) {
        return result;
    }
    // The time: four encoded characters, then their checksum.
    const int time_characters = 4;
    const char* time_line = reply + kvt::protocol::status_line_size;
    if (std::strcmp(reply, kvt::protocol::status_ok) != 0 ||
        std::strlen(time_line) != time_characters + 1) {
        return fail(sensor, VYR_RECEIVE_ERROR);
    }
    if (time_line[time_characters] != vyr_checksum(time_line, time_characters)) {
        return fail(sensor, VYR_CHECKSUM_ERROR);
    }
    return static_cast<int>(vyr_decode(time_line, time_characters));
}

int vyr_sleep(vyr_sensor* sensor)
{
    const kvt::Command_row& row = kvt::command_row(kvt::Command::sleep);
    Operation_clock clock(sensor, VYR_STOP_BUDGET + exchange_budget(row_timeout(sensor, row)));
    const int stopped = vyr_stop_scans(sensor);
    if (stopped != 0) {
        return stopped;
    }
    char reply[row.reply_size];
    return exchange_row(sensor, row.id, reply, sizeof reply);
}

int vyr_wake(vyr_sensor* sensor)
{
    return vyr_stop_scans(sensor);
}
