// The driver's scan operations: laser, measurement requests, scan reading and the
// time-stamp synchronisation.

#include "driver_state.h"
#include "vyr_exchange.h"
#include "vyr_information.h"
#include "vyr_measurement.h"

#include "ticks.h"

#include <cstdint>

namespace kvt {

namespace {

struct type_row
{
    Lidar::measurement_type type;
    int engine_type;
};

const type_row measurement_types[] = {
    {Lidar::Range, VYR_DISTANCE},
    {Lidar::Range_intensity, VYR_DISTANCE_INTENSITY},
    {Lidar::Multi_echo, VYR_MULTIECHO},
    {Lidar::Multi_echo_intensity, VYR_MULTIECHO_INTENSITY},
};

const int sync_readings = 10;

// Tick difference that stays right across the 32-bit wrap.
long ticks_between(int32_t from, int32_t to)
{
    return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

// Stamps wrap like the sensor's own counter instead of overflowing on a caller's extreme
// start value.
long wrapping_sum(long a, long b)
{
    return static_cast<long>(static_cast<unsigned long>(a) + static_cast<unsigned long>(b));
}

} // namespace

bool Vyr_driver::laser_on()
{
    return vyr_laser_on(&pimpl->sensor) >= 0;
}

bool Vyr_driver::laser_off()
{
    return vyr_laser_off(&pimpl->sensor) >= 0;
}

void Vyr_driver::sleep()
{
    vyr_sleep(&pimpl->sensor);
}

void Vyr_driver::wake()
{
    vyr_wake(&pimpl->sensor);
}

bool Vyr_driver::is_stable()
{
    return vyr_is_stable(&pimpl->sensor) != 0;
}

bool Vyr_driver::start_scans(measurement_type type, int scan_count, int skip_scans)
{
    for (const type_row& row : measurement_types) {
        if (row.type == type) {
            if (vyr_start_scans(&pimpl->sensor, row.engine_type, scan_count, skip_scans) != 0) {
                return false;
            }
            pimpl->current_type = type;
            return true;
        }
    }
    return false;
}

bool Vyr_driver::read_scan(measurement_type type, std::vector<long>& distance,
                           std::vector<unsigned short>* intensity, long* time_stamp)
{
    vyr_sensor* sensor = &pimpl->sensor;
    if (pimpl->current_type != type) {
        sensor->last_error = VYR_MEASUREMENT_TYPE_MISMATCH;
        return false;
    }
    const bool multi = type == Multi_echo || type == Multi_echo_intensity;
    const int factor = multi ? max_echo_count() : 1;
    // A closed sensor reports -2 steps; that must not become a huge size.
    const int steps = max_data_count() > 0 ? max_data_count() : 0;
    distance.resize(static_cast<size_t>(factor) * steps);
    if (intensity) {
        intensity->resize(distance.size());
    }

    int result = 0;
    switch (type) {
    case Range:
        result = vyr_read_distance(sensor, distance.data(), time_stamp);
        break;
    case Range_intensity:
        result =
            vyr_read_distance_intensity(sensor, distance.data(), intensity->data(), time_stamp);
        break;
    case Multi_echo:
        result = vyr_read_multiecho(sensor, distance.data(), time_stamp);
        break;
    case Multi_echo_intensity:
        result =
            vyr_read_multiecho_intensity(sensor, distance.data(), intensity->data(), time_stamp);
        break;
    }

    // A scan without steps must not pass on the previous scan's values as its own.
    if (result >= 0) {
        distance.resize(static_cast<size_t>(factor) * result);
        if (intensity) {
            intensity->resize(distance.size());
        }
    }
    if (result > 0 && time_stamp) {
        *time_stamp = wrapping_sum(*time_stamp, pimpl->time_offset);
    }
    return result >= 0;
}

bool Vyr_driver::read_distance(std::vector<long>& distance, long* time_stamp)
{
    return read_scan(Range, distance, nullptr, time_stamp);
}

bool Vyr_driver::read_distance_intensity(std::vector<long>& distance,
                                         std::vector<unsigned short>& intensity, long* time_stamp)
{
    return read_scan(Range_intensity, distance, &intensity, time_stamp);
}

bool Vyr_driver::read_multiecho(std::vector<long>& distance, long* time_stamp)
{
    return read_scan(Multi_echo, distance, nullptr, time_stamp);
}

bool Vyr_driver::read_multiecho_intensity(std::vector<long>& distance,
                                          std::vector<unsigned short>& intensity, long* time_stamp)
{
    return read_scan(Multi_echo_intensity, distance, &intensity, time_stamp);
}

bool Vyr_driver::set_scan_range(int first_step, int last_step, int skip_step)
{
    return vyr_set_scan_range(&pimpl->sensor, first_step, last_step, skip_step) >= 0;
}

void Vyr_driver::stop_scans()
{
    vyr_stop_scans(&pimpl->sensor);
}

bool Vyr_driver::sync_time_stamp(long time_stamp)
{
    vyr_sensor* sensor = &pimpl->sensor;
    const int32_t start = vyr_ticks();
    if (vyr_time_adjust_begin(sensor) != 0) {
        return false;
    }
    long sum = 0;
    bool all_read = true;
    for (int i = 0; i < sync_readings && all_read; ++i) {
        const int32_t before = vyr_ticks();
        const int sensor_time = vyr_read_sensor_time(sensor);
        const int32_t after = vyr_ticks();
        // An error code is no time: taking it into the sum would skew the offset.
        if (sensor_time < 0) {
            all_read = false;
            // Drop the rest of the failed reply so that "TM2" gets its own answer.
            if (!sensor->data_pending) {
                Operation_clock clock(sensor, exchange_budget(sensor->timeout_msec));
                drop_lines(sensor, sensor->timeout_msec);
            }
        } else {
            sum += ticks_between(start, before) + ticks_between(before, after) / 2 - sensor_time;
        }
    }
    if (vyr_time_adjust_end(sensor) != 0 || !all_read) {
        return false;
    }
    // The sum is kept relative to start, so start itself cancels out.
    pimpl->time_offset = wrapping_sum(sum / sync_readings, time_stamp);
    return true;
}

} // namespace kvt
