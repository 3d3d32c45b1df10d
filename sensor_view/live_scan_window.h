#ifndef VYR_SENSOR_VIEW_LIVE_SCAN_WINDOW_H
#define VYR_SENSOR_VIEW_LIVE_SCAN_WINDOW_H

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include "lidar.h"
#include "scan_csv.h"
#include "scan_worker.h"

class QComboBox;
class QLabel;
class QPushButton;
class Polar_view;

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

public slots:
    void start();
    // Asks a running measurement to end and returns at once; running_changed(false) and
    // the status line follow when it has. True when nothing was running.
    bool stop();
    void request_stop();
    // stop(), with the driver's close to follow: a sensor that does not confirm the stop
    // is not waited for once more by the close.
    void stop_for_close();

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

private:
    void show_counts();
    void finish();
    void update_buttons();
    void release_pause();

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
};

#endif
