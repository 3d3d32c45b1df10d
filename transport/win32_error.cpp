#include "win32_error.h"

#include <errno.h>
#include <winsock2.h>

#include <windows.h>

int32_t errno_from_winsock(int code)
{
    switch (code) {
    case WSAECONNREFUSED:
        return ECONNREFUSED;
    case WSAETIMEDOUT:
        return ETIMEDOUT;
    case WSAENETUNREACH:
        return ENETUNREACH;
    case WSAEHOSTUNREACH:
        return EHOSTUNREACH;
    case WSAEACCES:
        return EACCES;
    case WSAEINVAL:
    case WSAEFAULT:
        return EINVAL;
    case WSAEADDRNOTAVAIL:
        return EADDRNOTAVAIL;
    case WSAEMFILE:
    case WSAENOBUFS:
        return ENOBUFS;
    default:
        return EIO;
    }
}

int32_t errno_from_system(unsigned long code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    // A COM port that another program holds answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EBUSY;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTTY;
    default:
        return EIO;
    }
}
