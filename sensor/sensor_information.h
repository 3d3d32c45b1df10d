#ifndef KVT_SENSOR_INFORMATION_H
#define KVT_SENSOR_INFORMATION_H

// What a sensor says about itself, read in one look: one "VV" and one "II".

#include "lidar.h"

#include <string>

namespace kvt {

class Vyr_driver;

struct Sensor_information
{
    // The texts in the order they are read.
    enum Part { Product, Firmware_version, Serial_number, Sensor_status, Measurement_state, None };

    std::string product;
    std::string firmware_version;
    std::string serial_number;
    std::string sensor_status;
    std::string measurement_state;
    bool stable = false; // the status says so

    // The first text that brought no value (no answer, a reply cut short, its key
    // missing). The look ends there: a sensor that did not answer would only keep every
    // later question waiting as long again, so those are not asked.
    Part failed = None;
    Error error = Error::none; // not_connected or receive_error
    std::string error_text;    // its text, what the driver gives in place of a value
    std::string error_detail;  // why, where the driver knows; may be empty

    // From the parameters read at open; known without asking.
    int min_step = 0;
    int max_step = 0;
    double min_step_deg = 0;
    double max_step_deg = 0;
    long min_distance = 0;
    long max_distance = 0;
    long scan_period_usec = 0;
    int steps_per_scan = 0;

    bool has(Part part) const { return part < failed; }
    // A part's text, and the key vyr and the Python module give it (Product..Measurement_state).
    const std::string& text(Part part) const;
    static const char* key(Part part);
};

Sensor_information read_sensor_information(Vyr_driver& driver);

} // namespace kvt

#endif
