#ifndef VYR_BENCH_SCAN_READER_H
#define VYR_BENCH_SCAN_READER_H

#include "lidar.h"

#include <vector>

// One scan of the given type read through the driver's matching operation.
struct Scan_reader
{
    kvt::Lidar::measurement_type type;
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long time_stamp = 0;

    bool read(kvt::Lidar& driver)
    {
        switch (type) {
        case kvt::Lidar::Range:
            return driver.read_distance(distance, &time_stamp);
        case kvt::Lidar::Range_intensity:
            return driver.read_distance_intensity(distance, intensity, &time_stamp);
        case kvt::Lidar::Multi_echo:
            return driver.read_multiecho(distance, &time_stamp);
        case kvt::Lidar::Multi_echo_intensity:
            return driver.read_multiecho_intensity(distance, intensity, &time_stamp);
        }
        return false;
    }
};

#endif
