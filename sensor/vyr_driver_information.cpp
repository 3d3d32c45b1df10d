// The driver's information operations: conversions, limits and the sensor's texts.

#include "driver_state.h"
#include "vyr_conversions.h"
#include "vyr_information.h"

#include <string>

namespace kvt {

namespace {

const char* cached(std::string& cache, const char* value)
{
    cache = value;
    return cache.c_str();
}

// Only a value the sensor sent is kept; a failure text is asked again next time.
const char* remembered(std::string& cache, const vyr_sensor& sensor, const char* value)
{
    return value == sensor.info_text ? cached(cache, value) : value;
}

} // namespace

double Vyr_driver::index_to_rad(int index) const
{
    return vyr_index_to_rad(&pimpl->sensor, index);
}

double Vyr_driver::index_to_deg(int index) const
{
    return vyr_index_to_deg(&pimpl->sensor, index);
}

int Vyr_driver::rad_to_index(double radians) const
{
    return vyr_rad_to_index(&pimpl->sensor, radians);
}

int Vyr_driver::deg_to_index(double degrees) const
{
    return vyr_deg_to_index(&pimpl->sensor, degrees);
}

int Vyr_driver::rad_to_step(double radians) const
{
    return vyr_rad_to_step(&pimpl->sensor, radians);
}

int Vyr_driver::deg_to_step(double degrees) const
{
    return vyr_deg_to_step(&pimpl->sensor, degrees);
}

double Vyr_driver::step_to_rad(int step) const
{
    return vyr_step_to_rad(&pimpl->sensor, step);
}

double Vyr_driver::step_to_deg(int step) const
{
    return vyr_step_to_deg(&pimpl->sensor, step);
}

int Vyr_driver::step_to_index(int step) const
{
    return vyr_step_to_index(&pimpl->sensor, step);
}

int Vyr_driver::min_step() const
{
    int min = 0;
    int max = 0;
    vyr_step_limits(&pimpl->sensor, &min, &max);
    return min;
}

int Vyr_driver::max_step() const
{
    int min = 0;
    int max = 0;
    vyr_step_limits(&pimpl->sensor, &min, &max);
    return max;
}

long Vyr_driver::min_distance() const
{
    long min = 0;
    long max = 0;
    vyr_distance_limits(&pimpl->sensor, &min, &max);
    return min;
}

long Vyr_driver::max_distance() const
{
    long min = 0;
    long max = 0;
    vyr_distance_limits(&pimpl->sensor, &min, &max);
    return max;
}

long Vyr_driver::scan_period_usec() const
{
    return vyr_scan_period_usec(&pimpl->sensor);
}

int Vyr_driver::max_data_count() const
{
    return vyr_max_data_count(&pimpl->sensor);
}

int Vyr_driver::max_echo_count() const
{
    return 3;
}

const char* Vyr_driver::product()
{
    if (pimpl->product_text.empty()) {
        return remembered(pimpl->product_text, pimpl->sensor, vyr_product(&pimpl->sensor));
    }
    return pimpl->product_text.c_str();
}

const char* Vyr_driver::firmware_version()
{
    if (pimpl->firmware_text.empty()) {
        return remembered(pimpl->firmware_text, pimpl->sensor,
                          vyr_firmware_version(&pimpl->sensor));
    }
    return pimpl->firmware_text.c_str();
}

const char* Vyr_driver::serial_number()
{
    if (pimpl->serial_text.empty()) {
        return remembered(pimpl->serial_text, pimpl->sensor, vyr_serial_number(&pimpl->sensor));
    }
    return pimpl->serial_text.c_str();
}

const char* Vyr_driver::sensor_status()
{
    return cached(pimpl->status_text, vyr_sensor_status(&pimpl->sensor));
}

const char* Vyr_driver::measurement_state()
{
    return cached(pimpl->state_text, vyr_measurement_state(&pimpl->sensor));
}

} // namespace kvt
