#ifndef VYR_CLI_SCAN_CSV_H
#define VYR_CLI_SCAN_CSV_H

// Scans as CSV, one row per echo. The live view writes the same columns; keep the
// order and the number formats when changing either.

#include <string>

extern const char scan_csv_header[]; // with its LF

struct Scan_csv_row
{
    long scan;         // counted from 0 within the run
    long timestamp_ms; // the sensor's time stamp
    int index;         // position in the scan
    int step;          // counted from straight ahead
    double angle_deg;  // written with three decimals
    int echo;          // counted from 0
    long distance;
    int intensity; // negative: the kind has none, the column stays empty
};

void append_scan_csv_row(std::string& out, const Scan_csv_row& row);

#endif
