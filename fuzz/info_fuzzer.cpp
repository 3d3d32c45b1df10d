// Replies to the information queries and the time-adjust commands.
#include "engine_operations.h"
#include "fed_sensor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    vyr_sensor sensor;
    open_fed(sensor, replies_per_line(rest(data, size)));
    run_info_query(sensor, data[0] % INFO_OPERATIONS);
    close_fed(sensor);
    return 0;
}
