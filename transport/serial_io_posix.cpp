#include "serial_io.h"

#include "system_error.h"
#include "ticks.h"

#include <stdio.h>
#include <string.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace serial_io {

bool make_device_path(char (&path)[path_size], const char* name)
{
    if (!name) {
        return false;
    }
    const char* prefix = name[0] == '/' ? "" : "/dev/";
    const int length = snprintf(path, sizeof(path), "%s%s", prefix, name);
    return length >= 0 && length < path_size;
}

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

// The device keeps no time-out of its own here: read_device is handed the one to obey.
void set_device_timeout(vyr_serial_handle, int32_t) {}

namespace {

// A removed adapter or a pseudo-terminal whose other side closed answers so.
int32_t device_gone(int number)
{
    return number == EIO || number == ENXIO || number == ENODEV ? number : 0;
}

} // namespace

int32_t read_device(vyr_serial_handle fd, char* buffer, int32_t size, int32_t timeout_ms,
                    int32_t* gone)
{
    int32_t lost = 0;
    if (gone == nullptr) {
        gone = &lost;
    }
    *gone = 0;
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
            // A terminal in raw mode reads nothing only after a hang-up.
            *gone = n == 0 ? EIO : device_gone(errno);
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
            *gone = entry.revents & POLLNVAL ? ENODEV : EIO;
            return got; // hung up or failed: no data will come
        }
    }
}

int32_t write_device(vyr_serial_handle fd, const char* data, int32_t size, int32_t* gone)
{
    if (gone) {
        *gone = 0;
    }
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
        if (n < 0 && gone && device_gone(errno) != 0) {
            *gone = errno;
            break;
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

} // namespace serial_io
