#include "scan_csv.h"

#include <charconv>
#include <cmath>

const char scan_csv_header[] = "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity\n";

namespace {

// A row is built in one buffer and appended once: millions of rows a second leave no
// room for printf's format parsing or for many small appends.
struct Row_text
{
    char text[160];
    char* end = text;

    template <typename T> void number(T value)
    {
        end = std::to_chars(end, text + sizeof text, value).ptr;
    }
    void put(char c) { *end++ = c; }

    // In whole thousandths, rounded half away from zero: integer digits cost far less
    // than a floating-point conversion, and -0.0004 comes out as 0.000.
    void angle(double degrees)
    {
        const long long thousandths = std::llround(degrees * 1000.0);
        if (thousandths < 0) {
            put('-');
        }
        const long long magnitude = thousandths < 0 ? -thousandths : thousandths;
        number(magnitude / 1000);
        const int fraction = static_cast<int>(magnitude % 1000);
        put('.');
        put(static_cast<char>('0' + fraction / 100));
        put(static_cast<char>('0' + fraction / 10 % 10));
        put(static_cast<char>('0' + fraction % 10));
    }
};

} // namespace

void append_scan_csv_row(std::string& out, const Scan_csv_row& row)
{
    Row_text line;
    line.number(row.scan);
    line.put(',');
    line.number(row.timestamp_ms);
    line.put(',');
    line.number(row.index);
    line.put(',');
    line.number(row.step);
    line.put(',');
    line.angle(row.angle_deg);
    line.put(',');
    line.number(row.echo);
    line.put(',');
    line.number(row.distance);
    line.put(',');
    if (row.intensity >= 0) {
        line.number(row.intensity);
    }
    line.put('\n');
    out.append(line.text, static_cast<size_t>(line.end - line.text));
}
