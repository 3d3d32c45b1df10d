// Scan replies of one measurement type (SCAN_TYPE), one scan or several.
#include "engine_operations.h"
#include "fed_sensor.h"
#include "vyr_measurement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    vyr_sensor sensor;
    open_fed(sensor, scan_replies(data[0] % SCAN_MODES, rest(data, size)));
    run_scans(sensor, SCAN_TYPE, data[0] % SCAN_MODES);
    close_fed(sensor);
    return 0;
}
