#ifndef SCAN_EXPECTATIONS_H
#define SCAN_EXPECTATIONS_H

// Caller arrays with guard zones, and the checks of decoded scans against the
// simulated sensor's deterministic data.

#include "vyr_measurement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Scan_range
{
    int first; // absolute steps
    int last;
    int group;
    int steps() const { return (last - first) / group + 1; }
};

// Distance and intensity arrays of steps x 3 slots, followed by guard slots
// that nothing may write.
class Scan_buffers
{
public:
    static constexpr long distance_mark = 777777;
    static constexpr unsigned short intensity_mark = 4242;

    explicit Scan_buffers(int steps);
    long* distance() { return distance_.data(); }
    unsigned short* intensity() { return intensity_.data(); }
    bool guards_intact() const;
    bool untouched() const; // nothing at all was written

private:
    int slots_;
    std::vector<long> distance_;
    std::vector<unsigned short> intensity_;
};

bool has_intensity(int type);
bool is_multiecho(int type);

// The engine read that matches type.
int read_scan_of_type(vyr_sensor* sensor, int type, Scan_buffers& buffers, long* time_stamp);

// Checks count decoded steps of scan number scan against the simulator's data;
// multi-echo slots beyond a step's echo count must be 0. distance and
// intensity are laid out as the engine stores them (intensity may be null).
void expect_scan_values(int type, const Scan_range& range, int scan, const long* distance,
                        const unsigned short* intensity, int count);

// The data characters the sensor sends for one scan, lines not yet cut.
std::string encoded_scan_stream(int type, const Scan_range& range, int scan);

#endif
