// The whole of what a device sends while the engine opens it: the handshake
// and its recovery paths, the rate change and the parameter read.
#include "fed_sensor.h"
#include "vyr_sensor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    begin_input(replies_per_line(std::string(reinterpret_cast<const char*>(data), size)));
    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    const int result = vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", feed().port());
    if (result > 0 || result < VYR_DATA_SIZE_PARAMETER_ERROR) {
        fuzz_fail("open returned a value outside the error codes");
    }
    if (result == 0) {
        if (!sensor.is_active) {
            fuzz_fail("open succeeded without an active handle");
        }
        // Zero or less would let every later read wait without limit.
        if (sensor.timeout_msec <= 0) {
            fuzz_fail("open succeeded with no usable reply time-out");
        }
    } else if (sensor.is_active || sensor.connection.tcpclient.sock != -1) {
        fuzz_fail("failed open left the link open");
    }
    vyr_close(&sensor);
    end_input();
    return 0;
}
