#ifndef KVT_SCAN_CSV_H
#define KVT_SCAN_CSV_H

// One scan as read through a Lidar, together with the step and angle of every
// index, so that it can be shown or written out after the driver has moved on;
// and its CSV form, one row per echo.

#include "measurement_kinds.h"

#include <string>
#include <vector>

namespace kvt {

struct Scan_record
{
    long number = 0;     // counts the scans of one measurement from 0
    long time_stamp = 0; // ms, as the read returned it
    Lidar::measurement_type type = Lidar::Range;
    std::vector<long> distance;            // echo_slots() values per index
    std::vector<unsigned short> intensity; // same layout; empty for kinds without
    std::vector<int> step;                 // per index
    std::vector<double> angle_deg;         // per index

    int echo_slots() const;
    int size() const { return static_cast<int>(step.size()); } // indexes
    int value_indexes() const; // indexes of the values read, before the steps are filled
};

// Reads the next scan of a measurement started with this type. step_stride is the
// number of steps merged into one value (the skip step of the scan range; 0 counts as
// 1). False when the read fails; the reason is then in lidar.last_error_text().
bool read_scan_record(Lidar& lidar, Lidar::measurement_type type, Scan_record& record,
                      int step_stride = 1);

// The two halves of read_scan_record, for a reader that keeps the steps of a measurement
// while they stay the same: the values and time stamp of the next scan (step and angle_deg
// untouched), then the step and angle of the first indexes indexes.
bool read_scan_values(Lidar& lidar, Lidar::measurement_type type, Scan_record& record);
void fill_scan_steps(const Lidar& lidar, Scan_record& record, int indexes, int step_stride = 1);
// The step of index 0 of the scan just read.
int first_scan_step(const Lidar& lidar);

// "scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity"
extern const char scan_csv_header[];

// Appends the record's rows, each ending in "\n". Echo 0 of every index has a
// row; later echoes only where the sensor saw one.
void append_scan_csv_rows(const Scan_record& record, std::string& out);

} // namespace kvt

#endif
