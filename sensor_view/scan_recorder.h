#ifndef VYR_SENSOR_VIEW_SCAN_RECORDER_H
#define VYR_SENSOR_VIEW_SCAN_RECORDER_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "scan_recording.h"
#include "scan_worker.h"

// Writes every scan a measurement reads to a file. Armed by the window, it opens the file
// when the measurement starts (the header may need one exchange, which is only allowed
// then) and writes on the driver owner's thread; the writer's bounded queue keeps memory
// flat. Ending closes the file on a thread of its own, so neither the window nor the
// measurement waits for the disk. A failed write ends the recording, never the measurement.
class Scan_recorder : public Scan_sink
{
public:
    enum class State {
        idle,      // nothing asked, or the last recording's end has been seen
        armed,     // waits for the next measurement to start
        recording, // the file is open and takes every scan
        closing,   // what is queued is being written
        done,      // closed; path, scans and bytes tell where it went
        failed     // could not open or write; error says why
    };
    struct Progress
    {
        State state = State::idle;
        long scans = 0;
        long long bytes = 0;
        bool opened = false; // the file was made; a failure came after that
        std::string path;
        std::string error;
    };

    Scan_recorder() = default;
    ~Scan_recorder() override; // closes what is open and waits for it
    Scan_recorder(const Scan_recorder&) = delete;
    Scan_recorder& operator=(const Scan_recorder&) = delete;

    // Records the next measurement to start into path; false while the last one closes.
    bool arm(const std::string& path);
    // Ends a recording: an armed one is dropped, an open one closed behind the caller.
    void end();
    Progress progress() const;
    // Forgets a finished recording's outcome once it has been shown.
    void acknowledge();

    // Also sees every scan written, on the owner's thread (a second reader of the data).
    void set_tap(std::function<void(const kvt::Scan_record&)> tap);

    void measurement_starting(kvt::Lidar& lidar, kvt::Lidar::measurement_type type) override;
    void scan_read(const kvt::Scan_record& scan) override;

private:
    void close_behind(std::shared_ptr<kvt::Recording_writer> writer);

    // Taken before state_mutex_ by whoever uses the writer; the window never waits on it.
    std::mutex write_mutex_;
    mutable std::mutex state_mutex_;
    State state_ = State::idle;
    std::string path_;
    std::string error_;
    long scans_ = 0;
    long long bytes_ = 0;
    bool opened_ = false;
    std::shared_ptr<kvt::Recording_writer> writer_;
    std::function<void(const kvt::Scan_record&)> tap_;
    std::thread closer_;
};

#endif
