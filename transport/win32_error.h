#ifndef VYR_TRANSPORT_WIN32_ERROR_H
#define VYR_TRANSPORT_WIN32_ERROR_H

// Windows error codes as the errno values the recorded reasons use elsewhere, so that
// callers name a refused connection or a busy port the same way on every platform.
// Internal to transport/.

#include <stdint.h>

// From WSAGetLastError.
int32_t errno_from_winsock(int code);
// From GetLastError.
int32_t errno_from_system(unsigned long code);

#endif
