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

// Shows the sensor's scans as they come. While it runs, the scan worker alone
// talks to the driver. "Stop" asks the worker to end and returns at once; stop()
// (also on close) ends the measurement on the sensor and joins the worker before it
// returns, within about two seconds whatever the sensor does.
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
    // False when the sensor did not confirm the end of its output: it may still be
    // measuring. True when it did, or when nothing ran.
    bool stop();
    void request_stop();

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

    kvt::Lidar& lidar_;
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
    bool have_scan_ = false;
    // A new kind was chosen while running: start again once the worker has ended.
    bool restart_pending_ = false;
};

#endif
