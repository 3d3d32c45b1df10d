#include "line_speed.h"

// termios2 carries any rate, also those set with BOTHER; it lives in the
// kernel's own header, which cannot share a file with <termios.h>.
#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

namespace vyr_sim {

long peer_line_speed(int master_fd)
{
#if defined(__linux__)
    struct termios2 t
    {
    };
    // On a master, the terminal ioctls reach the slave's settings.
    if (ioctl(master_fd, TCGETS2, &t) != 0)
        return 0;
    return static_cast<long>(t.c_ospeed);
#else
    struct termios t
    {
    };
    if (tcgetattr(master_fd, &t) != 0)
        return 0;
    switch (cfgetospeed(&t)) {
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
#endif
}

} // namespace vyr_sim
