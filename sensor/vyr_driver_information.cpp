// The driver's information operations: conversions, limits and the sensor's texts.

#include "driver_state.h"
#include "sensor_information.h"
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

// Takes the values of one reply in order up to the first it lacks; false from there on.
bool take_values(Sensor_information& info, int failure, const vyr_info_value* values, int first,
                 int count, std::string* const caches[])
{
    static std::string Sensor_information::*const texts[] = {
        &Sensor_information::product, &Sensor_information::firmware_version,
        &Sensor_information::serial_number, &Sensor_information::sensor_status,
        &Sensor_information::measurement_state};
    for (int i = 0; i < count; ++i) {
        if (!values[i].found) {
            info.failed = static_cast<Sensor_information::Part>(first + i);
            return false;
        }
        info.*texts[first + i] = values[i].text;
        if (caches[i]) {
            *caches[i] = values[i].text;
        }
    }
    return !failure;
}

} // namespace

Sensor_information read_sensor_information(Vyr_driver& driver)
{
    Vyr_driver::driver_state& state = *driver.pimpl;
    vyr_sensor* sensor = &state.sensor;
    Sensor_information info;
    vyr_info_value version[3];
    vyr_info_value status[2];
    std::string* const version_caches[] = {&state.product_text, &state.firmware_text,
                                           &state.serial_text};
    std::string* const no_caches[] = {nullptr, nullptr};
    int failure = vyr_query_version(sensor, &version[0], &version[1], &version[2]);
    if (take_values(info, failure, version, Sensor_information::Product, 3, version_caches)) {
        failure = vyr_query_state(sensor, &status[0], &status[1]);
        take_values(info, failure, status, Sensor_information::Sensor_status, 2, no_caches);
    }
    if (failure) {
        info.error = static_cast<Error>(failure);
        info.error_text = error_text(info.error);
        info.error_detail = vyr_error_detail(sensor);
    }
    info.stable = info.has(Sensor_information::Sensor_status) &&
                  vyr_status_is_stable(info.sensor_status.c_str());

    info.min_step = driver.min_step();
    info.max_step = driver.max_step();
    info.min_step_deg = driver.step_to_deg(info.min_step);
    info.max_step_deg = driver.step_to_deg(info.max_step);
    info.min_distance = driver.min_distance();
    info.max_distance = driver.max_distance();
    info.scan_period_usec = driver.scan_period_usec();
    info.steps_per_scan = steps_per_scan(driver);
    return info;
}

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

namespace {

// In the order of Sensor_information::Part.
const struct
{
    const char* key;
    std::string Sensor_information::*text;
} information_texts[] = {
    {"product", &Sensor_information::product},
    {"firmware_version", &Sensor_information::firmware_version},
    {"serial_number", &Sensor_information::serial_number},
    {"sensor_status", &Sensor_information::sensor_status},
    {"measurement_state", &Sensor_information::measurement_state},
};

} // namespace

const std::string& Sensor_information::text(Part part) const
{
    return this->*information_texts[part].text;
}

const char* Sensor_information::key(Part part)
{
    return information_texts[part].key;
}

} // namespace kvt
