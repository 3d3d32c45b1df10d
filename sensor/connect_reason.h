#ifndef VYR_SENSOR_CONNECT_REASON_H
#define VYR_SENSOR_CONNECT_REASON_H

#include "lidar.h"

#include <string>

// The system's reason for a failed open in words a user can act on. Nothing recorded
// means the link opened and the sensor did not answer.
std::string connect_reason(const kvt::System_reason& error, bool serial);

// Why an open failed, as vyr and the window say it: the driver's own account of what came
// back when it has one, else the system's reason.
std::string open_failure_reason(const std::string& detail, const kvt::System_reason& error,
                                bool serial);

#endif
