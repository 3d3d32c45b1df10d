#ifndef VYR_CLI_CONNECT_REASON_H
#define VYR_CLI_CONNECT_REASON_H

#include "lidar.h"

#include <string>

// The system's reason for a failed open in words a user can act on. Nothing recorded
// means the link opened and the sensor did not answer.
std::string connect_reason(const kvt::System_reason& error, bool serial);

#endif
