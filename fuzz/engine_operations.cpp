#include "engine_operations.h"

#include "fed_sensor.h"
#include "vyr_information.h"
#include "vyr_measurement.h"

#include <cstring>
#include <memory>

namespace {

void check_text(const vyr_sensor& sensor, const char* text)
{
    if (text == nullptr) {
        fuzz_fail("query returned no text");
    }
    if (text == sensor.info_text && strnlen(text, VYR_INFO_TEXT_SIZE) == VYR_INFO_TEXT_SIZE) {
        fuzz_fail("information text without its end");
    }
}

bool is_multiecho(int type)
{
    return type == VYR_MULTIECHO || type == VYR_MULTIECHO_INTENSITY;
}

int read_scan(vyr_sensor& sensor, int type, long* distance, unsigned short* intensity, long* stamp)
{
    switch (type) {
    case VYR_DISTANCE:
        return vyr_read_distance(&sensor, distance, stamp);
    case VYR_DISTANCE_INTENSITY:
        return vyr_read_distance_intensity(&sensor, distance, intensity, stamp);
    case VYR_MULTIECHO:
        return vyr_read_multiecho(&sensor, distance, stamp);
    default:
        return vyr_read_multiecho_intensity(&sensor, distance, intensity, stamp);
    }
}

} // namespace

void run_info_query(vyr_sensor& sensor, int which)
{
    switch (which) {
    case 0:
        check_text(sensor, vyr_product(&sensor));
        break;
    case 1:
        check_text(sensor, vyr_serial_number(&sensor));
        break;
    case 2:
        check_text(sensor, vyr_firmware_version(&sensor));
        break;
    case 3:
        check_text(sensor, vyr_sensor_status(&sensor));
        break;
    case 4:
        check_text(sensor, vyr_measurement_state(&sensor));
        break;
    case 5:
        if (vyr_is_stable(&sensor) > 1) {
            fuzz_fail("stability is not a truth value");
        }
        break;
    default:
        if (vyr_time_adjust_begin(&sensor) == 0) {
            vyr_read_sensor_time(&sensor);
            vyr_time_adjust_end(&sensor);
        }
        break;
    }
}

void run_scans(vyr_sensor& sensor, int type, int mode)
{
    static const int counts[SCAN_MODES] = {1, 2, 0};
    if (vyr_start_scans(&sensor, type, counts[mode % SCAN_MODES], 0) < 0) {
        return;
    }
    // Exactly the size the engine asks callers for, so a write past it is caught.
    const int steps = sensor.area_max + 1;
    const size_t slots = static_cast<size_t>(steps) * (is_multiecho(type) ? 3 : 1);
    for (int scan = 0; scan < 2; ++scan) {
        std::unique_ptr<long[]> distance(new long[slots]);
        std::unique_ptr<unsigned short[]> intensity(new unsigned short[slots]);
        long stamp = 0;
        const int result = read_scan(sensor, type, distance.get(), intensity.get(), &stamp);
        if (result <= 0) {
            return;
        }
        if (result > steps) {
            fuzz_fail("more steps stored than the arrays hold");
        }
        // The read that completes a counted request also stops the sensor, which reads
        // (and announces) whatever follows; only otherwise is the echo still this scan's.
        const bool stopped = sensor.scan_count_requested > 1 && sensor.scans_remaining == 0;
        if (!stopped && result > sensor.received_last_step - sensor.received_first_step + 1) {
            fuzz_fail("more steps stored than the scan announced");
        }
    }
}

std::vector<Feed_part> scan_replies(int mode, const std::string& bytes)
{
    return replies_per_line(bytes, mode % SCAN_MODES == 0 ? 2 : 1);
}
