#ifndef KVT_DRIVER_STATE_H
#define KVT_DRIVER_STATE_H

// Private record of Vyr_driver, shared by the files that implement the driver.

#include "vyr_driver.h"
#include "vyr_sensor.h"

#include <string>

namespace kvt {

struct Vyr_driver::driver_state
{
    vyr_sensor sensor;
    bool is_open = false;
    int current_type = Range;
    long time_offset = 0;
    std::string product_text;
    std::string firmware_text;
    std::string serial_text;
    std::string status_text;
    std::string state_text;
    System_reason system_reason;
    Opened_target opened;

    driver_state() { vyr_sensor_init(&sensor); }
};

} // namespace kvt

#endif
