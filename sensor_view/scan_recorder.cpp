#include "scan_recorder.h"

#include <exception>
#include <utility>

Scan_recorder::~Scan_recorder()
{
    end();
    if (closer_.joinable()) {
        closer_.join();
    }
}

bool Scan_recorder::arm(const std::string& path)
{
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (state_ == State::recording || state_ == State::closing) {
        return false;
    }
    state_ = State::armed;
    path_ = path;
    error_.clear();
    scans_ = 0;
    bytes_ = 0;
    opened_ = false;
    writer_ = std::make_shared<kvt::Recording_writer>();
    return true;
}

void Scan_recorder::end()
{
    std::shared_ptr<kvt::Recording_writer> writer;
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        if (state_ == State::armed) {
            // Nothing was measured: there is no file to speak of.
            state_ = State::idle;
            writer_.reset();
            return;
        }
        if (state_ != State::recording) {
            return;
        }
        state_ = State::closing;
        writer = writer_;
    }
    close_behind(std::move(writer));
}

void Scan_recorder::close_behind(std::shared_ptr<kvt::Recording_writer> writer)
{
    // The last closer has reported already: only one recording closes at a time.
    if (closer_.joinable()) {
        closer_.join();
    }
    closer_ = std::thread([this, writer = std::move(writer)] {
        // A write under way finishes first; none follows, the state says closing.
        std::lock_guard<std::mutex> writing(write_mutex_);
        const bool closed = writer->close();
        std::lock_guard<std::mutex> lock(state_mutex_);
        scans_ = writer->scans_written();
        bytes_ = writer->bytes_written();
        if (closed) {
            state_ = State::done;
        } else {
            state_ = State::failed;
            error_ = writer->error();
        }
        writer_.reset();
    });
}

Scan_recorder::Progress Scan_recorder::progress() const
{
    std::lock_guard<std::mutex> lock(state_mutex_);
    Progress progress;
    progress.state = state_;
    progress.path = path_;
    progress.error = error_;
    progress.opened = opened_;
    progress.scans = scans_;
    progress.bytes = bytes_;
    if (writer_ && (state_ == State::recording || state_ == State::closing)) {
        progress.scans = writer_->scans_written();
        progress.bytes = writer_->bytes_written();
    }
    return progress;
}

void Scan_recorder::acknowledge()
{
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (state_ == State::done || state_ == State::failed) {
        state_ = State::idle;
    }
}

void Scan_recorder::set_tap(std::function<void(const kvt::Scan_record&)> tap)
{
    std::lock_guard<std::mutex> writing(write_mutex_);
    std::lock_guard<std::mutex> lock(state_mutex_);
    tap_ = std::move(tap);
}

void Scan_recorder::measurement_starting(kvt::Lidar& lidar, kvt::Lidar::measurement_type type)
{
    std::lock_guard<std::mutex> writing(write_mutex_);
    std::shared_ptr<kvt::Recording_writer> writer;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        if (state_ != State::armed) {
            return;
        }
        writer = writer_;
        path = path_;
    }
    bool opened = false;
    std::string failure;
    try {
        // The live view measures the sensor's whole area, step by step.
        const kvt::Recording_header header =
            kvt::recording_header_for(lidar, type, lidar.min_step(), lidar.max_step(), 1);
        opened = writer->open(path, header);
        if (!opened) {
            failure = writer->error();
        }
    } catch (const std::exception& error) {
        failure = error.what();
    }
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (state_ != State::armed) {
        // Ended while the file was being made: it stays, a recording of no scans.
        if (opened) {
            writer->close();
        }
        return;
    }
    if (opened) {
        state_ = State::recording;
        opened_ = true;
    } else {
        state_ = State::failed;
        error_ = failure;
        writer_.reset();
    }
}

void Scan_recorder::scan_read(const kvt::Scan_record& scan)
{
    std::lock_guard<std::mutex> writing(write_mutex_);
    std::shared_ptr<kvt::Recording_writer> writer;
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        if (state_ != State::recording) {
            return;
        }
        writer = writer_;
    }
    bool written = false;
    std::string failure;
    try {
        written = writer->write(scan);
        if (!written) {
            failure = writer->error();
        } else if (tap_) {
            tap_(scan);
        }
    } catch (const std::exception& error) {
        // Out of memory for the copy: the recording ends, the measurement goes on.
        failure = error.what();
    }
    if (written) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        // Already closing: the closer finds the writer failed and says why.
        if (state_ != State::recording) {
            return;
        }
        state_ = State::failed;
        error_ = failure.empty() ? writer->error() : failure;
        writer_.reset();
    }
    // A failed writer has nothing left to write: closing it only lets go of the file.
    writer->close();
    std::lock_guard<std::mutex> lock(state_mutex_);
    scans_ = writer->scans_written();
    bytes_ = writer->bytes_written();
}
