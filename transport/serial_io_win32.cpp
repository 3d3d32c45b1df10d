#include "serial_io.h"

#include "system_error.h"
#include "win32_error.h"

#include <errno.h>
#include <stdio.h>

#include <windows.h>

namespace serial_io {

namespace {

const DWORD input_queue_size = 32768;
const DWORD output_queue_size = 4096;

HANDLE native(vyr_serial_handle handle)
{
    return static_cast<HANDLE>(handle);
}

void record_open_error(const char* call)
{
    vyr_record_system_error(call, errno_from_system(GetLastError()));
}

DWORD standard_rate(long baudrate)
{
    switch (baudrate) {
    case 4800:
        return CBR_4800;
    case 9600:
        return CBR_9600;
    case 19200:
        return CBR_19200;
    case 38400:
        return CBR_38400;
    case 57600:
        return CBR_57600;
    case 115200:
        return CBR_115200;
    default:
        return static_cast<DWORD>(baudrate);
    }
}

DWORD queued_bytes(HANDLE handle)
{
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle, &errors, &status) ? status.cbInQue : 0;
}

} // namespace

bool make_device_path(char (&path)[path_size], const char* name)
{
    if (!name) {
        return false;
    }
    const int length = snprintf(path, sizeof(path), "\\\\.\\%s", name);
    return length >= 0 && length < path_size;
}

// No sharing: a port another program holds fails here. Anything that takes no line
// settings (a file, NUL) is no serial port and is closed again unused.
vyr_serial_handle open_device(const char* path)
{
    const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        record_open_error("CreateFile");
        return VYR_SERIAL_INVALID_HANDLE;
    }
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!GetCommState(handle, &settings)) {
        vyr_record_system_error("open", ENOTTY);
        CloseHandle(handle);
        return VYR_SERIAL_INVALID_HANDLE;
    }
    SetupComm(handle, input_queue_size, output_queue_size);

    COMMTIMEOUTS timeouts{};
    if (GetCommTimeouts(handle, &timeouts)) {
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = write_limit_ms;
        SetCommTimeouts(handle, &timeouts);
    }
    return handle;
}

void close_device(vyr_serial_handle handle)
{
    CloseHandle(native(handle));
}

void apply_line_settings(vyr_serial_handle handle, long baudrate)
{
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!GetCommState(native(handle), &settings)) {
        return;
    }
    settings.BaudRate = standard_rate(baudrate);
    settings.fBinary = TRUE;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.fParity = FALSE;
    settings.StopBits = ONESTOPBIT;
    SetCommState(native(handle), &settings);
}

// 0: return at once with what the device holds; t: wait for all bytes or t ms in all.
void set_device_timeout(vyr_serial_handle handle, int32_t timeout_ms)
{
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(native(handle), &timeouts)) {
        return;
    }
    timeouts.ReadIntervalTimeout = timeout_ms == 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(timeout_ms);
    SetCommTimeouts(native(handle), &timeouts);
}

// The device's time-outs do the waiting. A read without time-out takes only what is
// queued, so that it returns at once whatever time-out the device holds.
namespace {

// A removed adapter fails every call with one of these.
int32_t device_gone(DWORD error)
{
    return error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND ||
                   error == ERROR_ACCESS_DENIED || error == ERROR_OPERATION_ABORTED
               ? ENODEV
               : 0;
}

} // namespace

int32_t read_device(vyr_serial_handle handle, char* buffer, int32_t size, int32_t timeout_ms,
                    int32_t* gone)
{
    if (gone) {
        *gone = 0;
    }
    if (size <= 0) {
        return 0;
    }
    DWORD wanted = static_cast<DWORD>(size);
    if (timeout_ms == 0) {
        const DWORD queued = queued_bytes(native(handle));
        wanted = queued < wanted ? queued : wanted;
        if (wanted == 0) {
            return 0;
        }
    }
    DWORD got = 0; // a failed read delivers what it got before failing
    if (!ReadFile(native(handle), buffer, wanted, &got, nullptr) && gone) {
        *gone = device_gone(GetLastError());
    }
    return static_cast<int32_t>(got);
}

int32_t write_device(vyr_serial_handle handle, const char* data, int32_t size, int32_t* gone)
{
    if (gone) {
        *gone = 0;
    }
    DWORD written = 0; // a write cut off by the write time-out reports its count
    if (size > 0 && !WriteFile(native(handle), data, static_cast<DWORD>(size), &written, nullptr) &&
        gone) {
        *gone = device_gone(GetLastError());
    }
    return static_cast<int32_t>(written);
}

} // namespace serial_io
