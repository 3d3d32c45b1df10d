#include "serial_device.h"

#include "line_reader.h"
#include "system_error.h"
#include "ticks.h"

#include <stdio.h>
#include <string.h>

// ---- Platform calls (POSIX terminals) --------------------------------------------------

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Long enough for every name the port list gives and for short absolute paths.
const int path_size = 64;

bool make_device_path(char (&path)[path_size], const char* name)
{
    if (!name) {
        return false;
    }
    const char* prefix = name[0] == '/' ? "" : "/dev/";
    const int length = snprintf(path, sizeof(path), "%s%s", prefix, name);
    return length >= 0 && length < path_size;
}

// For some devices (a watchdog) the open alone acts, so one that the kernel files under
// another class than tty is refused unopened. Pseudo-terminals are not listed; for them
// the check on the open descriptor decides.
bool listed_as_other_than_tty(const struct stat& entry)
{
#ifdef __linux__
    char link[64];
    snprintf(link, sizeof link, "/sys/dev/char/%u:%u/subsystem", major(entry.st_rdev),
             minor(entry.st_rdev));
    char target[256];
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char* slash = strrchr(target, '/');
    return strcmp(slash ? slash + 1 : target, "tty") != 0;
#else
    (void)entry;
    return false;
#endif
}

// Only a terminal is a serial port: a regular file, a pipe or /dev/null named by mistake
// must not be written to (nor, for a file, cut), so the kind is checked before the open
// and again on what was opened. Exclusive use: the lock stops other opens by root as
// well, which the tty flag does not.
vyr_serial_handle open_device(const char* path)
{
    struct stat entry
    {
    };
    if (stat(path, &entry) != 0) {
        vyr_record_system_error("stat", errno);
        return VYR_SERIAL_INVALID_HANDLE;
    }
    if (!S_ISCHR(entry.st_mode) || listed_as_other_than_tty(entry)) {
        vyr_record_system_error("open", ENOTTY);
        return VYR_SERIAL_INVALID_HANDLE;
    }
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        vyr_record_system_error("open", errno);
        return VYR_SERIAL_INVALID_HANDLE;
    }
    if (fstat(fd, &entry) != 0 || !S_ISCHR(entry.st_mode) || !isatty(fd) ||
        flock(fd, LOCK_EX | LOCK_NB) != 0) {
        vyr_record_system_error("open", errno); // ENOTTY from isatty, EWOULDBLOCK from flock
        close(fd);
        return VYR_SERIAL_INVALID_HANDLE;
    }
    ioctl(fd, TIOCEXCL);

    termios settings{};
    if (tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        settings.c_cflag |= CREAD | CLOCAL;
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

void close_device(vyr_serial_handle fd)
{
    // The tty keeps the exclusive flag while its other side stays open.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

speed_t standard_speed(long baudrate)
{
    switch (baudrate) {
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

void set_line_format(termios* settings)
{
    settings->c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    settings->c_cflag |= CS8;
    settings->c_iflag &= ~INPCK;
}

#ifdef __linux__
// The kernel's termios with free-form speeds, which the C library does not declare.
struct vyr_termios2
{
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
const unsigned long get_termios2 = _IOR('T', 0x2A, vyr_termios2);
const unsigned long set_termios2 = _IOW('T', 0x2B, vyr_termios2);
const tcflag_t other_speed = 0010000;
const tcflag_t speed_mask = 0010017;
const int input_speed_shift = 16;

void set_other_speed(vyr_serial_handle fd, long baudrate)
{
    vyr_termios2 settings{};
    if (ioctl(fd, get_termios2, &settings) != 0) {
        return;
    }
    settings.c_cflag &= ~(speed_mask | (speed_mask << input_speed_shift));
    settings.c_cflag |= other_speed | (other_speed << input_speed_shift);
    settings.c_ispeed = static_cast<speed_t>(baudrate);
    settings.c_ospeed = static_cast<speed_t>(baudrate);
    ioctl(fd, set_termios2, &settings);
}
#else
void set_other_speed(vyr_serial_handle, long) {}
#endif

void apply_line_settings(vyr_serial_handle fd, long baudrate)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return;
    }
    set_line_format(&settings);
    const speed_t speed = standard_speed(baudrate);
    if (speed != B0) {
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
    }
    if (tcsetattr(fd, TCSANOW, &settings) == 0 && speed == B0) {
        set_other_speed(fd, baudrate);
    }
}

// Time-out 0: what the device holds now. Otherwise: all size bytes, or whatever came when
// timeout_ms have passed in all. A negative time-out is an unsigned count of ms.
int32_t read_device(vyr_serial_handle fd, char* buffer, int32_t size, int32_t timeout_ms)
{
    if (size <= 0) {
        return 0;
    }
    const int64_t deadline = monotonic_ms() + static_cast<uint32_t>(timeout_ms);
    int32_t got = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer + got, static_cast<size_t>(size - got));
        if (n > 0) {
            got += static_cast<int32_t>(n);
            if (got == size) {
                return got;
            }
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return got;
        }
        const int64_t now = monotonic_ms();
        if (timeout_ms == 0 || now >= deadline) {
            return got;
        }
        const int64_t left = deadline - now;
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, left > (1u << 30) ? (1 << 30) : static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return got;
        }
        if (ready > 0 && !(entry.revents & POLLIN)) {
            return got; // hung up or failed: no data will come
        }
    }
}

// The device keeps no write time-out of its own, and a port whose other side never reads
// would hold the caller for good: what is not written by then counts as not sent.
const int32_t write_limit_ms = 2000;

// Everything written, or the count that went out before the limit or an error.
int32_t write_device(vyr_serial_handle fd, const char* data, int32_t size)
{
    const int64_t deadline = monotonic_ms() + write_limit_ms;
    int32_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, static_cast<size_t>(size - written));
        if (n > 0) {
            written += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const int64_t left = deadline - monotonic_ms();
        if (n == 0 || errno != EAGAIN || left <= 0) {
            break;
        }
        pollfd entry{fd, POLLOUT, 0};
        if (poll(&entry, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            break;
        }
    }
    return written;
}

} // namespace

// ---- Device ----------------------------------------------------------------------------

int32_t serial_open(vyr_serial* serial, const char* device, long baudrate)
{
    serial->handle = VYR_SERIAL_INVALID_HANDLE;
    serial->has_pushed_back = 0;
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

// The device keeps no time-out of its own here; the record holds what the reads obey.
void serial_set_read_timeout(vyr_serial* serial, int32_t timeout)
{
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
    return write_device(serial->handle, data, size);
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
        const int32_t got = read_device(serial->handle, chunk, room, serial->current_timeout);
        ring_write(&serial->ring, chunk, got);
    }
    filled += ring_read(&serial->ring, buffer + filled, size - filled);

    if (timeout != serial->current_timeout) {
        serial_set_read_timeout(serial, timeout);
    }
    return filled +
           read_device(serial->handle, buffer + filled, size - filled, serial->current_timeout);
}

int32_t serial_discard_input(vyr_serial* serial)
{
    if (serial->handle == VYR_SERIAL_INVALID_HANDLE) {
        return -1;
    }
    const int32_t held = serial->has_pushed_back;
    serial->has_pushed_back = 0;
    return discard_unread(held, &serial->ring, [serial](char* chunk, int32_t size) {
        return read_device(serial->handle, chunk, size, 0);
    });
}

namespace {

// The held byte goes back into the record, and serial_read hands it out first.
struct Serial_line_source
{
    vyr_serial* serial;

    int32_t take_held(char*) { return 0; }

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
