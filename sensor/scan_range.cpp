#include "scan_range.h"

#include <cmath>
#include <cstdio>

namespace kvt {

Step_span measurable_steps(const Lidar& lidar)
{
    return {static_cast<double>(lidar.min_step()), static_cast<double>(lidar.max_step())};
}

Step_span steps_of_angles(const Lidar& lidar, double from_deg, double to_deg)
{
    const double step_degrees = lidar.step_to_deg(1);
    if (!(step_degrees > 0)) {
        // No angle can be placed: beyond the area on both sides.
        return {lidar.min_step() - 1.0, lidar.max_step() + 1.0};
    }
    return {std::floor(from_deg / step_degrees + 0.5), std::floor(to_deg / step_degrees + 0.5)};
}

std::string beyond_measurable(const Lidar& lidar, const Step_span& span)
{
    const int min_step = lidar.min_step();
    const int max_step = lidar.max_step();
    if (span.first >= min_step && span.last <= max_step) {
        return std::string();
    }
    return "this sensor measures from " + degrees_text(lidar.step_to_deg(min_step)) + " to " +
           degrees_text(lidar.step_to_deg(max_step)) + " degrees, steps " +
           std::to_string(min_step) + " to " + std::to_string(max_step);
}

std::string degrees_text(double degrees)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", degrees);
    return text;
}

} // namespace kvt
