#include "connect_reason.h"

#include <cerrno>
#include <cstring>
#include <string_view>

std::string connect_reason(const kvt::System_reason& error, bool serial)
{
    const std::string_view call = error.call;
    switch (error.number) {
    case 0:
        return "no answer from a sensor";
    case EACCES:
    case EPERM:
        return serial ? "permission denied (add yourself to the group dialout: sudo usermod "
                        "-aG dialout $USER, then log in again)"
                      : "permission denied";
    case ENOENT:
        return "no such device";
    case ENOTTY:
        return "not a serial port";
    case ENAMETOOLONG:
        return "device name too long";
    case EWOULDBLOCK:
    case EBUSY:
        return "in use by another program";
    case ECONNREFUSED:
        return "connection refused";
    case ETIMEDOUT:
        return "no answer within 2 s";
    case ENETUNREACH:
        return "network unreachable";
    case EHOSTUNREACH:
        return "host unreachable";
    case EINVAL:
        if (call == "inet_addr") {
            return "not an IPv4 address";
        }
        if (call == "port") {
            return "port out of range";
        }
        break;
    default:
        break;
    }
    return std::string(call) + ": " + std::strerror(error.number);
}

std::string open_failure_reason(const std::string& detail, const kvt::System_reason& error,
                                bool serial)
{
    return !detail.empty() ? detail : connect_reason(error, serial);
}
