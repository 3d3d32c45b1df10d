#ifndef KVT_SCAN_NDJSON_H
#define KVT_SCAN_NDJSON_H

// Reading a scan's ndjson line; inside the recording library.

#include "scan_recording.h"

#include <string>
#include <vector>

namespace kvt {

// Bounds for what a line may claim, so that a damaged file cannot make the reader
// allocate without end: four-digit steps, three echoes.
const int max_steps = 10000;
const int max_echoes = 3;
const long long max_step_value = 99999;

struct Parsed_values
{
    std::vector<long long> values; // in order, the echoes of a step together
    std::vector<unsigned char> echoes; // per step: 0 for a bare number, else the list's length
};

struct Parsed_scan
{
    long number = 0;
    long time_stamp = 0;
    int first_step = 0;
    int stride = 1;
    double first_angle_deg = 0;
    double angle_stride_deg = 0;
    Parsed_values distance, intensity;
    bool has_number = false, has_time_stamp = false, has_first_step = false, has_stride = false;
    bool has_distance = false, has_intensity = false;
};

// False with the reason for a line that is no scan object: wrong JSON, wrong types,
// numbers out of range, keys missing.
bool parse_scan_ndjson(const char* begin, const char* end, Parsed_scan& scan, std::string& error);

// The scan number and time stamp of a line as this program writes it, read from its
// head only; false when the line does not begin so.
bool scan_time_stamp(const char* begin, const char* end, long& number, long& time_stamp);

// The scan as the driver gave it; false with the reason when the line does not fit
// the header (another kind, other steps).
bool scan_from_parsed(const Parsed_scan& parsed, const Recording_header& header,
                      Scan_record& scan, std::string& error);

} // namespace kvt

#endif
