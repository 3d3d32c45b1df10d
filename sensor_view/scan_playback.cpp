#include "scan_playback.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "measurement_kinds.h"

namespace {

// What the view may index without looking: a line that parses but does not add up (a
// value lost, a kind that is not the recording's) is not shown.
bool is_whole(const kvt::Scan_record& scan, kvt::Lidar::measurement_type type)
{
    const size_t indexes = scan.step.size();
    const size_t values = indexes * static_cast<size_t>(scan.echo_slots());
    return scan.type == type && indexes > 0 && scan.angle_deg.size() == indexes &&
           scan.distance.size() == values &&
           scan.intensity.size() == (kvt::has_intensity(type) ? values : 0);
}

} // namespace

Scan_playback::Scan_playback(QObject* parent) : QObject(parent)
{
    tick_timer_.setSingleShot(true);
    tick_timer_.setTimerType(Qt::PreciseTimer);
    connect(&tick_timer_, &QTimer::timeout, this, &Scan_playback::tick);
}

Scan_playback::~Scan_playback()
{
    // Whoever listens may be half gone by now.
    blockSignals(true);
    close();
}

bool Scan_playback::open(const QString& path)
{
    close();
    auto reader = std::make_unique<kvt::Recording_reader>();
    const std::string name = QFile::encodeName(path).toStdString();
    if (!reader->open(name)) {
        // The caller names the file itself.
        std::string reason = reader->error();
        if (reason.compare(0, name.size() + 2, name + ": ") == 0) {
            reason.erase(0, name.size() + 2);
        }
        error_ = QString::fromStdString(reason);
        return false;
    }
    if (!kvt::measurement_kind(reader->header().type)) {
        error_ = tr("it holds an unknown kind of measurement");
        return false;
    }
    const long count = reader->scan_count();
    if (count <= 0) {
        error_ = tr("it holds no scans");
        return false;
    }
    header_ = reader->header();
    // Time stamps that go back (a sensor clock that wrapped, a damaged line) count as one
    // scan period, so the clock never runs backwards.
    const double period_ms = std::max(0L, header_.scan_period_usec) / 1000.0;
    play_ms_.assign(static_cast<size_t>(count), 0);
    for (long i = 1; i < count; ++i) {
        const long step = reader->time_stamp(i) - reader->time_stamp(i - 1);
        play_ms_[i] = play_ms_[i - 1] + (step >= 0 ? double(step) : period_ms);
    }
    reader_ = std::move(reader);
    error_.clear();
    shown_ = -1;
    requested_ = -1;
    quit_ = false;
    scans_read_ = 0;
    thread_ = std::thread([this] { read_loop(); });
    return true;
}

void Scan_playback::close()
{
    tick_timer_.stop();
    set_playing(false);
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    reader_.reset();
    play_ms_.clear();
    shown_ = -1;
    requested_ = -1;
    wanted_ = -1;
    in_turn_ = false;
    fresh_ = false;
    announced_ = false;
    failure_.clear();
}

double Scan_playback::seconds(long index) const
{
    if (index < 0 || index >= count()) {
        return 0;
    }
    return play_ms_[static_cast<size_t>(index)] / 1000.0;
}

void Scan_playback::read_loop()
{
    kvt::Scan_record work;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || wanted_ >= 0; });
        if (quit_) {
            return;
        }
        const long index = wanted_;
        const unsigned generation = generation_;
        wanted_ = in_turn_ && index + 1 < count() ? index + 1 : -1;
        lock.unlock();
        std::string failure;
        ++scans_read_;
        try {
            if (!reader_->read(index, work)) {
                failure = reader_->error();
            } else if (!is_whole(work, header_.type)) {
                failure = tr("its values do not add up").toStdString();
            }
        } catch (const std::exception& error) {
            failure = error.what();
        }
        lock.lock();
        if (generation != generation_) {
            continue; // asked for another scan meanwhile
        }
        if (!failure.empty()) {
            failure_ = tr("Could not read scan %1: %2")
                           .arg(index + 1)
                           .arg(QString::fromStdString(failure))
                           .toStdString();
            wanted_ = -1;
            in_turn_ = false;
            // Said at once, taken or not: reading has stopped.
            QMetaObject::invokeMethod(this, &Scan_playback::delivered, Qt::QueuedConnection);
            continue;
        }
        std::swap(work, pending_);
        pending_index_ = index;
        fresh_ = true;
        // Once until taken: the GUI thread hears of a frame's scans once, not of each.
        if (!announced_) {
            announced_ = true;
            QMetaObject::invokeMethod(this, &Scan_playback::delivered, Qt::QueuedConnection);
        }
    }
}

void Scan_playback::delivered()
{
    std::string failure;
    bool fresh;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(failure, failure_);
        fresh = fresh_;
        if (!fresh) {
            announced_ = false; // a request dropped what was announced
        }
    }
    // Stopped first, so that the last good scan shows at once.
    if (!failure.empty()) {
        tick_timer_.stop();
        set_playing(false);
        emit failed(QString::fromStdString(failure));
    }
    if (fresh) {
        emit scan_waiting();
    }
}

bool Scan_playback::take(kvt::Scan_record& scan)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        announced_ = false;
        if (!fresh_) {
            return false;
        }
        std::swap(scan, pending_);
        fresh_ = false;
        shown_ = pending_index_;
    }
    requested_ = std::max(requested_, shown_);
    if (playing_ && speed_ <= 0 && shown_ >= count() - 1) {
        set_playing(false);
    }
    return true;
}

void Scan_playback::request(long index, bool in_turn)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wanted_ = index;
        in_turn_ = in_turn;
        ++generation_;
        fresh_ = false; // older than what is asked for now
        announced_ = false;
    }
    wake_.notify_all();
}

void Scan_playback::halt()
{
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = -1;
    in_turn_ = false;
}

void Scan_playback::play()
{
    // One scan is all there is to show.
    if (count() < 2) {
        return;
    }
    // From the start again once the end has been played.
    const long from = requested_ >= 0 && requested_ < count() - 1 ? requested_ : 0;
    set_playing(true);
    if (speed_ <= 0) {
        request(from == requested_ ? from + 1 : from, true);
        return;
    }
    if (from != requested_) {
        requested_ = from;
        request(from, false);
    }
    anchor_ = from;
    anchor_clock_.start();
    tick();
}

void Scan_playback::pause()
{
    tick_timer_.stop();
    halt();
    set_playing(false);
}

void Scan_playback::set_speed(double speed)
{
    const bool was_playing = playing_;
    if (was_playing) {
        pause();
    }
    speed_ = std::max(0.0, speed);
    if (was_playing) {
        play();
    }
}

void Scan_playback::seek(long index)
{
    if (!is_open()) {
        return;
    }
    index = std::clamp(index, 0L, count() - 1);
    requested_ = index;
    if (playing_ && speed_ <= 0) {
        request(index, true);
        return;
    }
    request(index, false);
    if (playing_) {
        anchor_ = index;
        anchor_clock_.start();
        tick();
    }
}

void Scan_playback::step(long delta)
{
    pause();
    seek(requested_ < 0 ? 0 : requested_ + delta);
}

// The scan due at the clock, scaled by the speed; those passed over are never read.
void Scan_playback::tick()
{
    if (!playing_ || speed_ <= 0) {
        return;
    }
    const double due = play_ms_[anchor_] + anchor_clock_.nsecsElapsed() / 1e6 * speed_;
    const long index =
        static_cast<long>(std::upper_bound(play_ms_.begin() + anchor_, play_ms_.end(), due) -
                          play_ms_.begin()) - 1;
    if (index > requested_) {
        requested_ = index;
        request(index, false);
    }
    if (index >= count() - 1) {
        set_playing(false);
        return;
    }
    // At most one scan a frame: one due sooner waits for the frame and may be passed over.
    const double wait_ms = (play_ms_[index + 1] - due) / speed_;
    tick_timer_.start(std::max(frame_ms, static_cast<int>(std::ceil(std::min(wait_ms, 6e4)))));
}

void Scan_playback::set_playing(bool playing)
{
    if (playing_ != playing) {
        playing_ = playing;
        emit playing_changed(playing);
    }
}
