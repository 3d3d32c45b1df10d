#ifndef VYR_SENSOR_VIEW_LIVE_SCAN_WINDOW_H
#define VYR_SENSOR_VIEW_LIVE_SCAN_WINDOW_H

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "lidar.h"
#include "scan_csv.h"
#include "scan_worker.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QVBoxLayout;
class Polar_view;
class Scan_playback;
class Scan_recorder;

// Shows the sensor's scans as they come. The measurement is one long job on the driver
// owner's thread, so nothing else talks to the sensor while it runs. Stopping returns at
// once: the job stops the sensor ("QT") and the status line tells how it ended; a sensor
// that does not confirm is given up on after about 1.5 s. Only the destructor waits for
// the end, within about two seconds whatever the sensor does.
class Live_scan_window : public QWidget
{
    Q_OBJECT

public:
    explicit Live_scan_window(kvt::Lidar& lidar, QWidget* parent = nullptr);
    ~Live_scan_window() override;

    bool is_running() const { return worker_.running(); }
    // Whether a sensor is there to start on.
    void set_available(bool available);

    // Write the scan on screen as CSV, or the picture as PNG; false with the
    // reason in the status line.
    bool save_scan(const QString& path);
    bool save_picture(const QString& path);

    Polar_view* view() const { return view_; }

    // Records every scan the measurement reads into path, from its first: a running
    // measurement starts again. False with the reason in the status line.
    bool record_to(const QString& path);
    void stop_recording();
    bool is_recording() const;
    Scan_recorder& recorder() const { return *recorder_; }
    // Plays a recording in the view instead of the sensor's scans, until it is closed.
    bool open_recording(const QString& path);
    void close_recording();
    bool is_playing_back() const;
    Scan_playback* playback() const { return player_; }

public slots:
    void start();
    // Asks a running measurement to end and returns at once; running_changed(false) and
    // the status line follow when it has. True when nothing was running.
    bool stop();
    void request_stop();
    // stop(), with the driver's close to follow: a sensor that does not confirm the stop
    // is not waited for once more by the close.
    void stop_for_close();
    void ask_open_recording();

signals:
    void running_changed(bool running);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void scan_waiting();
    void take_scan();
    void pause_toggled(bool paused);
    void restart_with_new_kind();
    void ask_save_scan();
    void ask_save_picture();
    void ask_record(bool start);
    void show_recording();
    void take_played_scan();

private:
    void show_counts();
    void finish();
    void update_buttons();
    void release_pause();
    void add_file_controls(QVBoxLayout* column);
    void update_file_buttons();
    void end_recording_with_run();
    void show_position();

    // Before the worker, so that the measurement has ended when the file is closed.
    std::shared_ptr<Scan_recorder> recorder_;
    Scan_worker worker_;
    kvt::Scan_record incoming_;
    bool available_ = false;

    QComboBox* kind_;
    QPushButton* start_button_;
    QPushButton* stop_button_;
    QPushButton* pause_button_;
    QPushButton* save_scan_button_;
    Polar_view* view_;
    QLabel* status_;
    QLabel* hover_;

    // At most one take per frame, however fast the scans come.
    QTimer take_timer_;
    // Ends the wait for a sensor that does not confirm the stop "Stop" asked for.
    QTimer stop_timer_;
    QElapsedTimer since_take_;
    QElapsedTimer rate_clock_;
    long rate_base_ = 0;
    double rate_ = 0;
    long last_time_stamp_ = 0;
    // A new kind was chosen while running: start again once the worker has ended.
    bool restart_pending_ = false;

    // Recording and playing back.
    QPushButton* record_button_;
    QPushButton* open_recording_button_;
    QPushButton* close_recording_button_;
    QWidget* playback_controls_;
    QPushButton* play_button_;
    QPushButton* back_button_;
    QPushButton* forward_button_;
    QComboBox* speed_;
    QSlider* position_slider_;
    QLabel* position_;
    QLabel* recording_status_;
    QTimer recording_timer_;
    Scan_playback* player_;
    QTimer played_timer_;
    QElapsedTimer since_played_;
};

#endif
