#ifndef VYR_SENSOR_VIEW_SCAN_PLAYBACK_H
#define VYR_SENSOR_VIEW_SCAN_PLAYBACK_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scan_csv.h"
#include "scan_recording.h"

// Plays a recording of scans. Scans are read and parsed on a thread of its own, only the
// ones that are to be shown: at a speed, the one due at the clock (the recorded time
// stamps scaled by the speed); as fast as possible, every scan in turn. The newest read
// waits for take(); the ones not taken in time are dropped, as live.
class Scan_playback : public QObject
{
    Q_OBJECT

public:
    explicit Scan_playback(QObject* parent = nullptr);
    ~Scan_playback() override;

    // Replaces what was open; false with error() when the file cannot be played.
    bool open(const QString& path);
    void close();
    bool is_open() const { return !play_ms_.empty(); }
    QString error() const { return error_; }
    const kvt::Recording_header& header() const { return header_; }
    long count() const { return static_cast<long>(play_ms_.size()); }

    // The scan last taken, -1 before the first.
    long position() const { return shown_; }
    // Seconds from the first scan to this one, as played.
    double seconds(long index) const;
    bool playing() const { return playing_; }
    // 0 plays as fast as the file can be read.
    double speed() const { return speed_; }

    void play();
    void pause();
    void set_speed(double speed);
    // Shows that scan; playing goes on from it.
    void seek(long index);
    // Pauses, then one scan back or forward.
    void step(long delta);

    // Scans read from the file since it was opened, shown or not.
    long scans_read() const { return scans_read_; }

    // Swaps the newest scan read and not taken yet into scan; false when there is none.
    bool take(kvt::Scan_record& scan);

    static constexpr int frame_ms = 15;

signals:
    // take() has a scan; sent once until it has been taken.
    void scan_waiting();
    void playing_changed(bool playing);
    // A scan could not be read; playing has stopped.
    void failed(QString reason);

private:
    void read_loop();
    void request(long index, bool in_turn);
    void halt();
    void tick();
    void delivered();
    void set_playing(bool playing);

    std::unique_ptr<kvt::Recording_reader> reader_; // the reading thread's alone once it runs
    kvt::Recording_header header_;
    QString error_;
    std::vector<double> play_ms_; // when each scan is due, from the first, at 1x
    long shown_ = -1;
    long requested_ = -1; // the last scan asked for at a speed
    bool playing_ = false;
    double speed_ = 1;
    long anchor_ = 0; // played from this scan at anchor_clock_'s start
    QElapsedTimer anchor_clock_;
    QTimer tick_timer_;

    std::mutex mutex_; // guards what the reading thread shares, below
    std::condition_variable wake_;
    long wanted_ = -1;       // the next scan to read, -1 for none
    bool in_turn_ = false;   // then read on after it to the last
    unsigned generation_ = 0; // a new request drops what an older one is still reading
    bool quit_ = false;
    kvt::Scan_record pending_;
    long pending_index_ = -1;
    bool fresh_ = false;
    bool announced_ = false;
    std::string failure_;
    std::atomic<long> scans_read_{0};
    std::thread thread_;
};

#endif
