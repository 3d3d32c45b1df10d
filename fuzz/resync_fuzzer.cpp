// A broken reply to one operation, then the sensor's good reply to the next
// command: the engine must be back in step for it.
#include "engine_operations.h"
#include "fed_sensor.h"
#include "vyr_information.h"
#include "vyr_measurement.h"

#include <fstream>
#include <iterator>

namespace {

enum { SCAN_OPERATIONS = 4 * SCAN_MODES, OPERATIONS = INFO_OPERATIONS + SCAN_OPERATIONS };

// Short, so that replies which never end cost little; the follow-up gets a
// long one, so that only a step out of line fails it, not a loaded machine.
const int fuzzed_timeout_msec = 50;
const int follow_up_timeout_msec = 5000;

std::string recorded_reply(const char* seed)
{
    std::ifstream file(std::string(VYR_FUZZ_CORPUS) + "/info/" + seed, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (bytes.size() < 2) {
        fuzz_fail("no recorded reply for the follow-up");
    }
    return bytes.substr(1); // the selector byte
}

// The version queries are followed by a status query, everything else by a version one.
bool asks_version(int operation)
{
    return operation < 3;
}

// One run of the input; false when the follow-up did not get its own reply.
bool follow_up_answered(const uint8_t* data, size_t size)
{
    static const std::string version_reply = recorded_reply("query_0");
    static const std::string status_reply = recorded_reply("query_3");

    const int operation = data[0] % OPERATIONS;
    const int scan = operation - INFO_OPERATIONS;
    const std::string fuzzed = rest(data, size);
    std::vector<Feed_part> parts =
        scan < 0 ? replies_per_line(fuzzed) : scan_replies(scan % SCAN_MODES, fuzzed);
    parts.push_back(asks_version(operation) ? Feed_part{status_reply, "II"}
                                            : Feed_part{version_reply, "VV"});

    vyr_sensor sensor;
    open_fed(sensor, parts);
    vyr_set_timeout(&sensor, fuzzed_timeout_msec);
    if (scan < 0) {
        run_info_query(sensor, operation);
    } else {
        run_scans(sensor, VYR_DISTANCE + scan / SCAN_MODES, scan % SCAN_MODES);
    }
    bool answered = true;
    // A measurement left running talks over any reply; a real sensor would too.
    if (!sensor.data_pending) {
        if (!feed().wait_answered(follow_up_timeout_msec)) {
            fuzz_fail("the feed did not answer the host");
        }
        vyr_set_timeout(&sensor, follow_up_timeout_msec);
        const char* text =
            asks_version(operation) ? vyr_sensor_status(&sensor) : vyr_product(&sensor);
        answered = text == sensor.info_text;
    }
    close_fed(sensor);
    return answered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    // 50 ms reads can miss on a loaded machine; a step out of line repeats.
    if (!follow_up_answered(data, size) && !follow_up_answered(data, size)) {
        fuzz_fail("the command after a broken reply did not get its own reply");
    }
    return 0;
}
