// Kept apart: the kernel's termios header clashes with the C library's.
#include "pseudo_terminal.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

long PseudoTerminal::speed() const
{
    termios2 settings{};
    if (ioctl(master_, TCGETS2, &settings) != 0) {
        return -1;
    }
    return static_cast<long>(settings.c_ospeed);
}
