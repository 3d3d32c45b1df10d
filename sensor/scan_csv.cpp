#include "scan_csv.h"

#include <charconv>
#include <system_error>

namespace kvt {

namespace {

// A row is built in one buffer and appended once: a scan is a thousand rows or more, too
// many for printf's parsing or many small appends. to_chars, not printf, also keeps a
// host locale with a decimal comma from splitting a column.
class Row_text
{
public:
    template <class Number> Row_text& field(Number value)
    {
        advance(std::to_chars(end(), limit(), value));
        return put(',');
    }
    Row_text& angle(double degrees)
    {
        advance(std::to_chars(end(), limit(), degrees, std::chars_format::fixed, 3));
        return put(',');
    }
    Row_text& last(long intensity, bool present)
    {
        if (present) {
            advance(std::to_chars(end(), limit(), intensity));
        }
        return put('\n');
    }
    void append_to(std::string& out) const { out.append(text_, length_); }

private:
    char* end() { return text_ + length_; }
    // Rows are far shorter; the bounds only keep a wild value inside the buffer.
    char* limit() { return text_ + sizeof text_ - 1; }
    // A value that does not fit leaves its field empty rather than cut.
    void advance(std::to_chars_result result)
    {
        if (result.ec == std::errc()) {
            length_ = static_cast<size_t>(result.ptr - text_);
        }
    }
    Row_text& put(char c)
    {
        if (end() < limit()) {
            text_[length_++] = c;
        }
        return *this;
    }

    // A length, not a pointer, so that a copy of a row's head writes into its own buffer.
    size_t length_ = 0;
    char text_[128];
};

} // namespace

const char scan_csv_header[] = "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity";

int Scan_record::echo_slots() const
{
    const Measurement_kind* kind = measurement_kind(type);
    return kind ? kind->echo_slots : 1;
}

bool read_scan_values(Lidar& lidar, Lidar::measurement_type type, Scan_record& record)
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
        ok = lidar.read_multiecho_intensity(record.distance, record.intensity, &record.time_stamp);
        break;
    }
    if (!has_intensity(type)) {
        record.intensity.clear();
    }
    return ok;
}

int first_scan_step(const Lidar& lidar)
{
    return lidar.rad_to_step(lidar.index_to_rad(0));
}

int Scan_record::value_indexes() const
{
    return static_cast<int>(distance.size()) / echo_slots();
}

void fill_scan_steps(const Lidar& lidar, Scan_record& record, int indexes, int step_stride)
{
    record.step.resize(static_cast<size_t>(indexes));
    record.angle_deg.resize(static_cast<size_t>(indexes));
    // The index conversions follow the first step of the scan just read, but count one
    // step an index: with merged steps, index i holds the group that starts i strides on.
    const int first = indexes > 0 ? first_scan_step(lidar) : 0;
    const int stride = step_stride > 1 ? step_stride : 1;
    for (int i = 0; i < indexes; ++i) {
        record.step[i] = first + i * stride;
        record.angle_deg[i] = lidar.step_to_deg(record.step[i]);
    }
}

bool read_scan_record(Lidar& lidar, Lidar::measurement_type type, Scan_record& record,
                      int step_stride)
{
    const bool ok = read_scan_values(lidar, type, record);
    fill_scan_steps(lidar, record, ok ? record.value_indexes() : 0, step_stride);
    return ok;
}

void append_scan_csv_rows(const Scan_record& record, std::string& out)
{
    const int slots = record.echo_slots();
    const bool intensity = !record.intensity.empty();
    for (int i = 0; i < record.size(); ++i) {
        // The columns up to the angle are the same for every echo of an index.
        Row_text head;
        head.field(record.number).field(record.time_stamp).field(i).field(record.step[i]);
        head.angle(record.angle_deg[i]);
        for (int echo = 0; echo < slots; ++echo) {
            const size_t slot = static_cast<size_t>(i) * slots + echo;
            const long distance = record.distance[slot];
            if (echo > 0 && distance == 0) {
                continue;
            }
            Row_text(head)
                .field(echo)
                .field(distance)
                .last(intensity ? record.intensity[slot] : 0, intensity)
                .append_to(out);
        }
    }
}

} // namespace kvt
