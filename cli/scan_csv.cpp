#include "scan_csv.h"

#include <charconv>

const char scan_csv_header[] = "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity\n";

namespace {

// to_chars: a million rows a second leave no room for printf's format parsing.
template <typename T> void append_number(std::string& out, T value)
{
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void append_angle(std::string& out, double degrees)
{
    char text[32];
    // Round half away from zero to the 1/1000 first, so that -0.0004 prints as 0.000.
    const double rounded = static_cast<double>(static_cast<long long>(degrees * 1000.0 + (degrees < 0 ? -0.5 : 0.5))) / 1000.0;
    out.append(text, std::to_chars(text, text + sizeof text, rounded == 0.0 ? 0.0 : rounded,
                                   std::chars_format::fixed, 3)
                         .ptr);
}

} // namespace

void append_scan_csv_row(std::string& out, const Scan_csv_row& row)
{
    append_number(out, row.scan);
    out += ',';
    append_number(out, row.timestamp_ms);
    out += ',';
    append_number(out, row.index);
    out += ',';
    append_number(out, row.step);
    out += ',';
    append_angle(out, row.angle_deg);
    out += ',';
    append_number(out, row.echo);
    out += ',';
    append_number(out, row.distance);
    out += ',';
    if (row.intensity >= 0) {
        append_number(out, row.intensity);
    }
    out += '\n';
}
