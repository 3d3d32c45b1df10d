#ifndef KVT_SCAN_RANGE_H
#define KVT_SCAN_RANGE_H

// The steps a request names, checked against what the open sensor measures before anything
// is sent: vyr and the Python module say the same.

#include "lidar.h"

#include <string>

namespace kvt {

// Steps as doubles, so that a wild angle cannot overflow on its way to a step.
struct Step_span
{
    double first = 0;
    double last = 0;
};

// The sensor's whole area.
Step_span measurable_steps(const Lidar& lidar);
// Directions in degrees to steps. Not the driver's own conversion: that clamps to the
// measurable steps, which would turn a request beyond them into a scan of the last step.
Step_span steps_of_angles(const Lidar& lidar, double from_deg, double to_deg);

// Empty when the span lies within what the sensor measures; else why not:
// "this sensor measures from A to B degrees, steps M to N".
std::string beyond_measurable(const Lidar& lidar, const Step_span& span);

std::string degrees_text(double degrees); // three decimals

} // namespace kvt

#endif
