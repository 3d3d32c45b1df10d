#include "serial_device.h"

#include "line_reader.h"
#include "serial_io.h"
#include "system_error.h"
#include "ticks.h"

#include <errno.h>

using namespace serial_io;

// ---- Device ----------------------------------------------------------------------------

namespace {

// Reads the device and keeps a hang-up in the record.
int32_t read_noting(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout)
{
    int32_t gone = 0;
    const int32_t got = read_device(serial->handle, buffer, size, timeout, &gone);
    if (gone != 0) {
        vyr_record_link_loss(&serial->loss, "read", gone);
    }
    return got;
}

void use_timeout(vyr_serial* serial, int32_t timeout)
{
    if (timeout != serial->current_timeout) {
        serial_set_read_timeout(serial, timeout);
    }
}

// The device wait of a read. While an abort flag is watched it goes in slices, so that a
// raised flag ends it; bytes that flow end each slice at once.
int32_t read_waiting(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout)
{
    if (!serial->abort_flag || (timeout >= 0 && timeout <= VYR_ABORT_CHECK_MS)) {
        use_timeout(serial, timeout);
        return read_noting(serial, buffer, size, serial->current_timeout);
    }
    // A negative time-out is an unsigned count of ms, as the device reads it.
    const int64_t end = monotonic_ms() + static_cast<uint32_t>(timeout);
    int32_t got = 0;
    for (;;) {
        const int64_t start = monotonic_ms();
        const int64_t left = end - start;
        if (left <= 0 || vyr_abort_raised(serial->abort_flag)) {
            return got;
        }
        const int32_t slice =
            left < VYR_ABORT_CHECK_MS ? static_cast<int32_t>(left) : VYR_ABORT_CHECK_MS;
        use_timeout(serial, slice);
        got += read_noting(serial, buffer + got, size - got, slice);
        // Back before its slice ended without all bytes: the device hung up or failed.
        if (got == size || monotonic_ms() < start + slice) {
            return got;
        }
    }
}

} // namespace

int32_t serial_open(vyr_serial* serial, const char* device, long baudrate)
{
    serial->handle = VYR_SERIAL_INVALID_HANDLE;
    serial->has_pushed_back = 0;
    vyr_clear_link_loss(&serial->loss);
    ring_initialize(&serial->ring, serial->ring_storage, VYR_SERIAL_RING_SHIFT);

    char path[path_size];
    if (!make_device_path(path, device)) {
        vyr_record_system_error("open", ENAMETOOLONG);
        return -1;
    }
    serial->handle = open_device(path);
    if (serial->handle == VYR_SERIAL_INVALID_HANDLE) {
        return -1;
    }
    serial_set_baudrate(serial, baudrate);
    serial->has_pushed_back = 0;
    serial->current_timeout = 0;
    serial_set_read_timeout(serial, 0);
    return 0;
}

void serial_close(vyr_serial* serial)
{
    if (serial->handle != VYR_SERIAL_INVALID_HANDLE) {
        close_device(serial->handle);
        serial->handle = VYR_SERIAL_INVALID_HANDLE;
    }
}

int32_t serial_set_baudrate(vyr_serial* serial, long baudrate)
{
    if (serial->handle != VYR_SERIAL_INVALID_HANDLE) {
        apply_line_settings(serial->handle, baudrate);
    }
    return 0;
}

void serial_set_read_timeout(vyr_serial* serial, int32_t timeout)
{
    if (serial->handle != VYR_SERIAL_INVALID_HANDLE) {
        set_device_timeout(serial->handle, timeout);
    }
    serial->current_timeout = timeout;
}

int32_t serial_write(vyr_serial* serial, const char* data, int32_t size)
{
    if (size < 0) {
        return 0;
    }
    if (serial->handle == VYR_SERIAL_INVALID_HANDLE) {
        return -1;
    }
    int32_t gone = 0;
    const int32_t written = write_device(serial->handle, data, size, &gone);
    if (gone != 0) {
        vyr_record_link_loss(&serial->loss, "write", gone);
    }
    return written;
}

int32_t serial_read(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout)
{
    if (size <= 0) {
        return 0;
    }
    int32_t filled = 0;
    if (serial->has_pushed_back) {
        buffer[0] = serial->pushed_back;
        serial->has_pushed_back = 0;
        filled = 1;
    }
    if (serial->handle == VYR_SERIAL_INVALID_HANDLE) {
        return filled == 1 ? 1 : -1;
    }

    if (ring_size(&serial->ring) < size - filled) {
        if (serial->current_timeout != 0) {
            serial_set_read_timeout(serial, 0);
        }
        char chunk[VYR_SERIAL_RING_STORAGE - 1];
        const int32_t room = ring_capacity(&serial->ring) - ring_size(&serial->ring);
        const int32_t got = read_noting(serial, chunk, room, serial->current_timeout);
        ring_write(&serial->ring, chunk, got);
    }
    filled += ring_read(&serial->ring, buffer + filled, size - filled);

    return filled + read_waiting(serial, buffer + filled, size - filled, timeout);
}

int32_t serial_discard_input(vyr_serial* serial)
{
    if (serial->handle == VYR_SERIAL_INVALID_HANDLE) {
        return -1;
    }
    const int32_t held = serial->has_pushed_back;
    serial->has_pushed_back = 0;
    return discard_unread(held, &serial->ring, [serial](char* chunk, int32_t size) {
        return read_noting(serial, chunk, size, 0);
    });
}

namespace {

// The held byte goes back into the record, and serial_read hands it out first.
struct Serial_line_source
{
    vyr_serial* serial;

    int32_t take_held(char*) { return 0; }

    // A held byte comes before the ring, and only serial_read hands it out; a closed
    // device gives nothing from its ring either.
    int32_t buffered(const char*& run)
    {
        if (serial->has_pushed_back || serial->handle == VYR_SERIAL_INVALID_HANDLE) {
            return 0;
        }
        return ring_peek(&serial->ring, &run);
    }

    void consume(int32_t count) { ring_drop(&serial->ring, count); }

    bool next(char& byte, Line_deadline& deadline)
    {
        // Buffered bytes need no wait, and so no look at the clock either.
        const bool buffered = serial->has_pushed_back || ring_size(&serial->ring) > 0;
        const int32_t wait = buffered ? serial->current_timeout : deadline.left_ms();
        return serial_read(serial, &byte, 1, wait) == 1;
    }

    void hold_back(char byte)
    {
        serial->has_pushed_back = 1;
        serial->pushed_back = byte;
    }
};

} // namespace

int32_t serial_readline(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout)
{
    Serial_line_source source{serial};
    return read_line(source, buffer, size, timeout);
}

int32_t serial_readline_until(vyr_serial* serial, char* buffer, int32_t size, int32_t timeout,
                              int64_t end_ms)
{
    Serial_line_source source{serial};
    return read_line(source, buffer, size, timeout, end_ms, true);
}
