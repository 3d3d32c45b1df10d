#include "vyr_sensor.h"

#include "vyr_exchange.h"

#include "ticks.h"

#include <cstring>

namespace {

struct error_row
{
    int code;
    const char* text;
};

const error_row error_table[] = {
    {VYR_NO_ERROR, "no error."},
    {VYR_UNKNOWN_ERROR, "unknown error."},
    {VYR_NOT_CONNECTED, "not connected."},
    {VYR_NOT_IMPLEMENTED, "not implemented."},
    {VYR_INVALID_RESPONSE, "invalid response."},
    {VYR_NO_RESPONSE, "no response."},
    {VYR_SEND_ERROR, "send error."},
    {VYR_RECEIVE_ERROR, "receive error."},
    {VYR_CHECKSUM_ERROR, "checksum error."},
    {VYR_INVALID_PARAMETER, "invalid parameter."},
    {VYR_MEASUREMENT_TYPE_MISMATCH, "measurement type mismatch."},
    {VYR_SERIAL_OPEN_ERROR, "could not open serial device."},
    {VYR_BAUDRATE_DETECT_ERROR, "could not detect serial baudrate."},
    {VYR_ETHERNET_OPEN_ERROR, "could not open ethernet port."},
    {VYR_SCANNING_PARAMETER_ERROR, "scanning parameter error."},
    {VYR_DATA_SIZE_PARAMETER_ERROR, "data size parameter error."},
};

int open_error(int connection_type)
{
    switch (connection_type) {
    case VYR_SERIAL:
        return VYR_SERIAL_OPEN_ERROR;
    case VYR_ETHERNET:
        return VYR_ETHERNET_OPEN_ERROR;
    default:
        return VYR_INVALID_RESPONSE;
    }
}

// Candidate rates with the requested one tried first, when it is a candidate.
void order_candidates(long requested, long candidates[3])
{
    candidates[0] = 19200;
    candidates[1] = 38400;
    candidates[2] = 115200;
    for (int i = 1; i < 3; ++i) {
        if (candidates[i] == requested) {
            candidates[i] = candidates[0];
            candidates[0] = requested;
        }
    }
}

// One "QT" handshake at the line's current rate; true when a sensor answered.
bool try_handshake(vyr_sensor* sensor)
{
    const kvt::Command_row& probe = kvt::command_row(kvt::Command::stop);
    char status[probe.reply_size];
    int answer_is_text = 0;
    const int result =
        exchange_reply(sensor, probe.text, probe.accepted, row_timeout(sensor, probe), status,
                       sizeof status, &answer_is_text);
    if (result < 0) {
        // A wrong echo in protocol text means a sensor is there, busy sending something
        // else; bytes that are no text are what a line at the wrong rate shows.
        discard_pending(sensor, VYR_OPEN_TIMEOUT);
        return result == VYR_INVALID_RESPONSE && answer_is_text;
    }
    if (std::strcmp(status, kvt::protocol::status_ok) == 0) {
        return true;
    }
    if (std::strcmp(status, kvt::protocol::status_time_adjust) == 0) {
        // Left in time-adjust mode by an earlier user.
        exchange_row(sensor, kvt::Command::time_adjust_off);
        return true;
    }
    if (std::strcmp(status, kvt::protocol::status_old_protocol) == 0) {
        // Older protocol version: switch it to ours.
        if (sensor->data_pending) {
            drop_lines(sensor, VYR_OPEN_TIMEOUT);
        }
        exchange_row(sensor, kvt::Command::handshake);
        if (sensor->data_pending) {
            drop_lines(sensor, VYR_OPEN_TIMEOUT);
        }
        return true;
    }
    return false;
}

// The search's own failures said what each try met; the first of them stays, with what
// it means for the link.
void describe_failed_search(vyr_sensor* sensor, bool serial)
{
    if (abort_pending(sensor)) {
        return;
    }
    char first[VYR_ERROR_DETAIL_SIZE];
    std::memcpy(first, sensor->error_detail, sizeof first);
    const bool silent = std::strncmp(first, "no answer", 9) == 0 || first[0] == '\0';
    if (serial && silent) {
        restate_failure(sensor, "no answer to \"QT\" at 19200, 38400 or 115200 baud");
    } else if (serial) {
        restate_failure(sensor, "%s (tried 19200, 38400 and 115200 baud)", first);
    } else if (std::strstr(first, "not in the sensor's protocol") == nullptr) {
        // A sensor serves one client: a connection it accepts and then ignores or closes
        // is most likely held by another.
        restate_failure(sensor, "%s; another client may hold the sensor",
                        first[0] != '\0' ? first : "no answer to \"QT\"");
    }
}

int open_connected(vyr_sensor* sensor, int connection_type, long baudrate)
{
    const long requested = connection_type == VYR_SERIAL ? baudrate : 115200;
    long candidates[3];
    order_candidates(requested, candidates);

    // Each rate gets a share of the open's time, so that a line that chatters at one rate
    // leaves the search time for the others.
    const bool serial = connection_type == VYR_SERIAL;
    long found = 0;
    for (long candidate : candidates) {
        connection_set_baudrate(&sensor->connection, candidate);
        Deadline_share share(sensor,
                             serial ? VYR_SERIAL_HANDSHAKE_BUDGET : VYR_TCP_HANDSHAKE_BUDGET);
        if (try_handshake(sensor)) {
            found = candidate;
            break;
        }
    }
    if (found == 0) {
        describe_failed_search(sensor, serial);
        return fail(sensor, VYR_BAUDRATE_DETECT_ERROR);
    }
    sensor->line_rate = serial ? requested : 0;

    int result = change_sensor_baudrate(sensor, found, requested);
    if (result != 0) {
        return result;
    }
    sensor->data_pending = 0;
    sensor->last_error = 0;
    sensor->scan_count_requested = 0;
    sensor->scans_remaining = 0;
    sensor->laser_is_on = 0;
    result = read_parameters(sensor);
    if (result != 0) {
        return result;
    }
    sensor->is_active = 1;
    return 0;
}

} // namespace

extern "C" {

void vyr_sensor_init(vyr_sensor* sensor)
{
    // Value-initialised: fields zero, the connection's descriptors in their closed state.
    *sensor = vyr_sensor{};
    connection_set_abort_flag(&sensor->connection, &sensor->abort_requested);
}

int vyr_open(vyr_sensor* sensor, int connection_type, const char* device, long baudrate)
{
    Operation_clock clock(sensor, connection_type == VYR_SERIAL ? VYR_SERIAL_OPEN_BUDGET
                                                                : VYR_TCP_OPEN_BUDGET);
    sensor->is_active = 0;
    sensor->data_pending = 1;
    sensor->last_error = VYR_NOT_CONNECTED;
    sensor->timeout_msec = VYR_OPEN_TIMEOUT;
    sensor->skip_scans = 0;
    sensor->line_rate = 0;
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }

    connection_set_abort_flag(&sensor->connection, &sensor->abort_requested);
    if (connection_open(&sensor->connection, connection_type, device, baudrate) < 0) {
        sensor->last_error = open_error(connection_type);
        return sensor->last_error;
    }
    const int result = open_connected(sensor, connection_type, baudrate);
    if (result != 0) {
        // Do not leave a half-opened link behind a failed open.
        connection_close(&sensor->connection);
    }
    return result;
}

void vyr_close(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, VYR_CLOSE_BUDGET);
    if (sensor->is_active) {
        discard_pending(sensor, sensor->timeout_msec);
    }
    connection_close(&sensor->connection);
    sensor->is_active = 0;
}

int vyr_reboot(vyr_sensor* sensor)
{
    Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
    if (!sensor->is_active) {
        return fail(sensor, VYR_NOT_CONNECTED);
    }
    if (clock.refused()) {
        return fail(sensor, VYR_NO_RESPONSE);
    }
    // The sensor restarts only after the command has been confirmed by a second one.
    for (int i = 0; i < 2; ++i) {
        if (exchange_row(sensor, kvt::Command::reboot) < 0) {
            return fail(sensor, VYR_INVALID_RESPONSE);
        }
    }
    sensor->is_active = 0;
    vyr_close(sensor);
    sensor->last_error = 0;
    return 0;
}

void vyr_set_timeout(vyr_sensor* sensor, int msec)
{
    sensor->timeout_msec = msec;
}

const char* vyr_error_text(const vyr_sensor* sensor)
{
    return vyr_error_message(sensor->last_error);
}

const char* vyr_error_message(int code)
{
    for (const error_row& row : error_table) {
        if (row.code == code) {
            return row.text;
        }
    }
    return "Unknown error.";
}

const char* vyr_error_detail(const vyr_sensor* sensor)
{
    return sensor->error_detail;
}

const char* vyr_link_lost_text(const vyr_sensor* sensor)
{
    if (connection_lost(&sensor->connection).number == 0) {
        return "";
    }
    return sensor->connection.type == VYR_SERIAL ? "the device was unplugged"
                                                 : "the sensor closed the connection";
}

void vyr_request_abort(vyr_sensor* sensor)
{
    __atomic_store_n(&sensor->abort_requested, 1, __ATOMIC_RELAXED);
}

void vyr_clear_abort(vyr_sensor* sensor)
{
    __atomic_store_n(&sensor->abort_requested, 0, __ATOMIC_RELAXED);
}

int vyr_raw_write(vyr_sensor* sensor, const char* data, int size)
{
    if (abort_pending(sensor)) {
        return -1;
    }
    return connection_write(&sensor->connection, data, size);
}

int vyr_raw_read(vyr_sensor* sensor, char* buffer, int max_size, int timeout)
{
    if (abort_pending(sensor)) {
        return -1;
    }
    return connection_read(&sensor->connection, buffer, max_size, timeout);
}

int vyr_raw_readline(vyr_sensor* sensor, char* buffer, int max_size, int timeout)
{
    if (abort_pending(sensor)) {
        if (max_size > 0) {
            buffer[0] = '\0';
        }
        return -1;
    }
    return connection_readline(&sensor->connection, buffer, max_size, timeout);
}

int vyr_raw_discard_input(vyr_sensor* sensor)
{
    // Reading makes room for what the device still had queued; it comes on at once.
    // Within an operation the rounds also end with its time.
    int total = 0;
    for (int round = 0; round < VYR_MAX_DISCARD_ROUNDS; ++round) {
        if (sensor->operation_depth > 0 && monotonic_ms() >= sensor->deadline_ms) {
            break;
        }
        const int dropped = connection_discard_input(&sensor->connection);
        if (dropped < 0) {
            return total > 0 ? total : dropped;
        }
        if (dropped == 0) {
            break;
        }
        total += dropped;
    }
    return total;
}

} // extern "C"
