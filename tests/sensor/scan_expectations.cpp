#include "scan_expectations.h"

#include "measurement_kinds.h"
#include "simulator.h"

#include <algorithm>

Scan_buffers::Scan_buffers(int steps)
    : slots_(steps * 3), distance_(slots_ + 16, distance_mark),
      intensity_(slots_ + 16, intensity_mark)
{
}

bool Scan_buffers::guards_intact() const
{
    return std::all_of(distance_.begin() + slots_, distance_.end(),
                       [](long v) { return v == distance_mark; }) &&
           std::all_of(intensity_.begin() + slots_, intensity_.end(),
                       [](unsigned short v) { return v == intensity_mark; });
}

bool Scan_buffers::untouched() const
{
    return std::all_of(distance_.begin(), distance_.end(),
                       [](long v) { return v == distance_mark; }) &&
           std::all_of(intensity_.begin(), intensity_.end(),
                       [](unsigned short v) { return v == intensity_mark; });
}

bool has_intensity(int type)
{
    return kvt::engine_measurement_kind(type)->intensity;
}

bool is_multiecho(int type)
{
    return kvt::engine_measurement_kind(type)->echo_slots > 1;
}

int read_scan_of_type(vyr_sensor* sensor, int type, Scan_buffers& buffers, long* time_stamp)
{
    switch (type) {
    case VYR_DISTANCE:
        return vyr_read_distance(sensor, buffers.distance(), time_stamp);
    case VYR_DISTANCE_INTENSITY:
        return vyr_read_distance_intensity(sensor, buffers.distance(), buffers.intensity(),
                                           time_stamp);
    case VYR_MULTIECHO:
        return vyr_read_multiecho(sensor, buffers.distance(), time_stamp);
    default:
        return vyr_read_multiecho_intensity(sensor, buffers.distance(), buffers.intensity(),
                                            time_stamp);
    }
}

namespace {

int echoes_sent(int type, int step, int scan)
{
    return is_multiecho(type) ? vyr_sim::sim_echo_count(step, scan) : 1;
}

void append_value(std::string& out, long value)
{
    for (int shift = 12; shift >= 0; shift -= 6) {
        out += static_cast<char>(((value >> shift) & 0x3f) + 0x30);
    }
}

} // namespace

void expect_scan_values(int type, const Scan_range& range, int scan, const long* distance,
                        const unsigned short* intensity, int count)
{
    ASSERT_EQ(count, range.steps());
    const int factor = is_multiecho(type) ? 3 : 1;
    for (int k = 0; k < count; ++k) {
        const int step = range.first + k * range.group;
        const int echoes = echoes_sent(type, step, scan);
        for (int e = 0; e < factor; ++e) {
            const int at = k * factor + e;
            const bool sent = e < echoes;
            ASSERT_EQ(distance[at], sent ? vyr_sim::sim_distance(step, scan, e) : 0)
                << "step " << step << " echo " << e;
            if (intensity) {
                ASSERT_EQ(intensity[at], sent ? vyr_sim::sim_intensity(step, scan, e) : 0)
                    << "step " << step << " echo " << e;
            }
        }
    }
}

std::string encoded_scan_stream(int type, const Scan_range& range, int scan)
{
    std::string out;
    for (int k = 0; k < range.steps(); ++k) {
        const int step = range.first + k * range.group;
        for (int e = 0; e < echoes_sent(type, step, scan); ++e) {
            if (e > 0) {
                out += '&';
            }
            append_value(out, vyr_sim::sim_distance(step, scan, e));
            if (has_intensity(type)) {
                append_value(out, vyr_sim::sim_intensity(step, scan, e));
            }
        }
    }
    return out;
}
