#ifndef VYR_CLI_CONNECT_REASON_H
#define VYR_CLI_CONNECT_REASON_H

#include "system_error.h"

#include <string>

// The system's reason for a failed open in words a user can act on. Nothing recorded
// means the link opened and the sensor did not answer.
std::string connect_reason(const vyr_system_error& error, bool serial);

#endif
