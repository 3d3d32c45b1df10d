#include "scan_csv.h"

#include <charconv>

namespace kvt {

namespace {

// to_chars, not printf: a host locale with a decimal comma must not split a column.
template <class Number> void append_field(std::string& out, Number value)
{
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
    out += ',';
}

} // namespace

const char scan_csv_header[] = "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity";

bool has_intensity(Lidar::measurement_type type)
{
    return type == Lidar::Range_intensity || type == Lidar::Multi_echo_intensity;
}

bool is_multiecho(Lidar::measurement_type type)
{
    return type == Lidar::Multi_echo || type == Lidar::Multi_echo_intensity;
}

int Scan_record::echo_slots() const
{
    return is_multiecho(type) ? 3 : 1;
}

bool read_scan_record(Lidar& lidar, Lidar::measurement_type type, Scan_record& record)
{
    record.type = type;
    bool ok = false;
    switch (type) {
    case Lidar::Range:
        ok = lidar.read_distance(record.distance, &record.time_stamp);
        break;
    case Lidar::Range_intensity:
        ok = lidar.read_distance_intensity(record.distance, record.intensity, &record.time_stamp);
        break;
    case Lidar::Multi_echo:
        ok = lidar.read_multiecho(record.distance, &record.time_stamp);
        break;
    case Lidar::Multi_echo_intensity:
        ok = lidar.read_multiecho_intensity(record.distance, record.intensity,
                                            &record.time_stamp);
        break;
    }
    if (!has_intensity(type)) {
        record.intensity.clear();
    }
    const int indexes = ok ? static_cast<int>(record.distance.size()) / record.echo_slots() : 0;
    record.step.resize(static_cast<size_t>(indexes));
    record.angle_deg.resize(static_cast<size_t>(indexes));
    // The index conversions follow the first step of the scan just read.
    for (int i = 0; i < indexes; ++i) {
        record.angle_deg[i] = lidar.index_to_deg(i);
        record.step[i] = lidar.rad_to_step(lidar.index_to_rad(i));
    }
    return ok;
}

void append_scan_csv_rows(const Scan_record& record, std::string& out)
{
    const int slots = record.echo_slots();
    const bool intensity = !record.intensity.empty();
    for (int i = 0; i < record.size(); ++i) {
        for (int echo = 0; echo < slots; ++echo) {
            const size_t slot = static_cast<size_t>(i) * slots + echo;
            const long distance = record.distance[slot];
            if (echo > 0 && distance == 0) {
                continue;
            }
            append_field(out, record.number);
            append_field(out, record.time_stamp);
            append_field(out, i);
            append_field(out, record.step[i]);
            char angle[32];
            out.append(angle, std::to_chars(angle, angle + sizeof angle, record.angle_deg[i],
                                            std::chars_format::fixed, 3)
                                  .ptr);
            out += ',';
            append_field(out, echo);
            append_field(out, distance);
            if (intensity) {
                char value[8];
                out.append(value, std::to_chars(value, value + sizeof value,
                                                record.intensity[slot])
                                      .ptr);
            }
            out += '\n';
        }
    }
}

} // namespace kvt
