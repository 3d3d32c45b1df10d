#include "vyr_conversions.h"

#include <cmath>

namespace {

const double two_pi = 6.283185307179586;
const double pi = 3.141592653589793;
const double half_turn_degrees = 180.0;

// Wide, so that a caller's step near the int range cannot overflow on its way here.
int clamp_step(const vyr_sensor* sensor, long long value)
{
    if (value < 0) {
        return 0;
    }
    return value > sensor->area_max ? sensor->area_max : static_cast<int>(value);
}

double to_degrees(double radians)
{
    return radians * half_turn_degrees / pi;
}

double to_radians(double degrees)
{
    return pi * degrees / half_turn_degrees;
}

} // namespace

void vyr_distance_limits(const vyr_sensor* sensor, long* min, long* max)
{
    if (!sensor->is_active) {
        *min = 1;
        *max = 0;
        return;
    }
    *min = sensor->distance_min;
    *max = sensor->distance_max;
}

void vyr_step_limits(const vyr_sensor* sensor, int* min, int* max)
{
    if (!sensor->is_active) {
        *min = 1;
        *max = 0;
        return;
    }
    *min = sensor->area_min - sensor->area_front;
    *max = sensor->area_max - sensor->area_front;
}

long vyr_scan_period_usec(const vyr_sensor* sensor)
{
    return sensor->is_active ? sensor->scan_usec : VYR_NOT_CONNECTED;
}

int vyr_max_data_count(const vyr_sensor* sensor)
{
    return sensor->is_active ? sensor->area_max + 1 : VYR_NOT_CONNECTED;
}

double vyr_step_to_rad(const vyr_sensor* sensor, int step)
{
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    return two_pi * step / sensor->area_resolution;
}

double vyr_step_to_deg(const vyr_sensor* sensor, int step)
{
    return to_degrees(vyr_step_to_rad(sensor, step));
}

double vyr_index_to_rad(const vyr_sensor* sensor, int index)
{
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    const int step = clamp_step(sensor, index) - sensor->area_front + sensor->received_first_step;

    return vyr_step_to_rad(sensor, step);
}

double vyr_index_to_deg(const vyr_sensor* sensor, int index)
{
    return to_degrees(vyr_index_to_rad(sensor, index));
}

int vyr_rad_to_index(const vyr_sensor* sensor, double radians)
{
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    const double steps = std::floor(radians * sensor->area_resolution / two_pi + 0.5);
    const double absolute = steps + sensor->area_front;
    // Clamp in double first: a huge or NaN angle must not reach the int conversion.
    if (!(absolute >= 0.0)) {
        return 0;
    }
    if (absolute > sensor->area_max) {
        return sensor->area_max;
    }
    return static_cast<int>(absolute);
}

int vyr_deg_to_index(const vyr_sensor* sensor, double degrees)
{
    return vyr_rad_to_index(sensor, to_radians(degrees));
}

int vyr_rad_to_step(const vyr_sensor* sensor, double radians)
{
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    return vyr_rad_to_index(sensor, radians) - sensor->area_front;
}

int vyr_deg_to_step(const vyr_sensor* sensor, double degrees)
{
    return vyr_rad_to_step(sensor, to_radians(degrees));
}

int vyr_step_to_index(const vyr_sensor* sensor, int step)
{
    if (!sensor->is_active) {
        return VYR_NOT_CONNECTED;
    }
    return clamp_step(sensor, static_cast<long long>(step) + sensor->area_front -
                                  sensor->received_first_step);
}
