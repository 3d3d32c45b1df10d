#ifndef KVT_SCAN_RECORDING_H
#define KVT_SCAN_RECORDING_H

// Recordings of scans: a file of one JSON object a line, the first saying what was
// measured and on which sensor, every further one a scan exactly as vyr scan --format
// ndjson writes it. Written on a thread of its own, read back by index.

#include "lidar.h"
#include "scan_csv.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvt {

// What replaying a recording needs besides its scans. Written as the file's first line.
struct Recording_header
{
    Lidar::measurement_type type = Lidar::Range; // in the file: the kind's cli_name ("distance", ...)
    int first_step = 0;  // the requested range, in steps
    int last_step = 0;
    int group = 1;       // steps merged into one value (the ndjson's step_stride)
    // The sensor, as the driver knew it when the recording began.
    std::string product, firmware_version, serial_number;
    int min_step = 0, max_step = 0;
    int front_step = 0, steps_per_rev = 0; // so every step gets its angle as the driver gives it
    long min_distance = 0, max_distance = 0;
    long scan_period_usec = 0;
    std::string started_utc; // "2026-12-09T19:40:00Z"
};

// The header for a measurement of this kind on an open driver, from what it already knows.
// The product texts come from the driver's cache; a driver that has not read them yet
// asks the sensor once ("VV"), so call this before the measurement starts.
Recording_header recording_header_for(Lidar& lidar, Lidar::measurement_type type,
                                      int first_step, int last_step, int group);

// The same without the sensor's texts and start time; asks the sensor nothing.
Recording_header measurement_header(const Lidar& lidar, Lidar::measurement_type type,
                                    int first_step, int last_step, int group);

// The angle of a step in degrees, computed as the driver computes it.
double recorded_step_deg(int step, int steps_per_rev);

// Appends the scan's line, "\n" included: the object vyr scan --format ndjson writes, its
// step stride and angles taken from the header.
void append_scan_ndjson(std::string& out, const Scan_record& scan, const Recording_header& header);

// The header line, "\n" included.
std::string recording_header_line(const Recording_header& header);

// Writes scans on a thread of its own. write() waits only when many scans queue up
// (a bounded queue), so nothing is lost and memory stays flat however long it records.
class Recording_writer
{
public:
    Recording_writer();
    ~Recording_writer(); // closes
    Recording_writer(const Recording_writer&) = delete;
    Recording_writer& operator=(const Recording_writer&) = delete;

    bool open(const std::string& path, const Recording_header& header); // false: error()
    bool write(const Scan_record& scan);  // copies the scan; false once writing failed
    bool close();                         // writes what is queued; false: error()
    bool is_open() const;
    long scans_written() const;           // any thread
    long long bytes_written() const;      // any thread
    std::string error() const;

private:
    void run();
    void fail(const std::string& why); // under mutex_

    Recording_header header_;
    std::string path_;
    std::FILE* file_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable queued_;  // a scan came, or closing
    std::condition_variable drained_; // room in the queue
    std::deque<Scan_record> queue_;
    std::vector<Scan_record> spare_; // written ones, their storage used again
    bool closing_ = false;
    bool failed_ = false;
    std::string error_;
    std::atomic<long> scans_written_{0};
    std::atomic<long long> bytes_written_{0};
};

// Reads a recording: the header at once, the scans by index (random access, for a slider).
// One thread at a time.
class Recording_reader
{
public:
    Recording_reader();
    ~Recording_reader();
    Recording_reader(const Recording_reader&) = delete;
    Recording_reader& operator=(const Recording_reader&) = delete;

    bool open(const std::string& path); // false: error()
    const Recording_header& header() const;
    long scan_count() const;
    long time_stamp(long index) const;  // the scan's recorded time stamp, ms (from the index)
    // Fills every field of the scan (number, time_stamp, type, distance, intensity, step,
    // angle_deg) exactly as the live driver filled it when it was recorded.
    bool read(long index, Scan_record& scan); // false: error()
    std::string error() const;

    // The file had no header line (plain vyr scan output); the header was made up from the
    // first scan, and what it cannot tell (the sensor, its limits) is left empty.
    bool header_inferred() const { return inferred_; }

private:
    bool read_line(long index, std::string& line);
    bool fail(const std::string& why);

    std::FILE* file_ = nullptr;
    Recording_header header_;
    bool inferred_ = false;
    std::vector<std::int64_t> offsets_; // of each scan line, and one past the last
    std::vector<long> time_stamps_;
    std::vector<long> lines_;           // each scan's line number, for errors
    std::string path_;
    std::string line_;
    std::string error_;
};

} // namespace kvt

#endif
