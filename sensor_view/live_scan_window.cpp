#include "live_scan_window.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "measurement_kinds.h"
#include "polar_view.h"
#include "scan_playback.h"
#include "scan_recorder.h"

namespace {

// A frame's worth: scans that come faster are dropped, not drawn.
constexpr int take_interval_ms = 15;

QPushButton* add_button(QHBoxLayout* row, const QString& name, const QString& text)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    row->addWidget(button);
    return button;
}

} // namespace

Live_scan_window::Live_scan_window(kvt::Lidar& lidar, QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(std::make_shared<Scan_recorder>()),
      worker_(Driver_owner::of(lidar))
{
    setObjectName("Live_scan_window");
    setWindowTitle(tr("Live scan"));

    // Rows short enough that no text is cut short in a narrow window or a longer
    // language: the measurement, the picture, the files and the ruler.
    auto* controls = new QHBoxLayout;
    auto* picture_controls = new QHBoxLayout;
    auto* file_controls = new QHBoxLayout;
    kind_ = new QComboBox;
    kind_->setObjectName("cmb_kind");
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        kind_->addItem(tr(kind.list_text), kind.type);
    }
    controls->addWidget(kind_);
    start_button_ = add_button(controls, "btn_start", tr("Start"));
    stop_button_ = add_button(controls, "btn_stop", tr("Stop"));
    controls->addStretch(1);
    pause_button_ = add_button(picture_controls, "btn_pause", tr("Pause"));
    pause_button_->setCheckable(true);
    QPushButton* fit_button = add_button(picture_controls, "btn_fit", tr("Fit"));
    QPushButton* fit_range_button =
        add_button(picture_controls, "btn_fit_range", tr("Fit range"));
    QPushButton* xy_button = add_button(picture_controls, "btn_xy", tr("&x/y"));
    xy_button->setCheckable(true);
    picture_controls->addStretch(1);
    save_scan_button_ = add_button(file_controls, "btn_save_scan", tr("Save scan..."));
    QPushButton* save_picture_button =
        add_button(file_controls, "btn_save_picture", tr("Save picture..."));
    QPushButton* ruler_button = add_button(file_controls, "btn_ruler", tr("&Ruler"));
    ruler_button->setCheckable(true);
    file_controls->addStretch(1);

    view_ = new Polar_view;
    view_->setObjectName("polar_view");
    status_ = new QLabel(tr("Stopped."));
    status_->setObjectName("lbl_status");
    hover_ = new QLabel;
    hover_->setObjectName("lbl_hover");
    // They show sensor texts and file names: data, never markup.
    status_->setTextFormat(Qt::PlainText);
    hover_->setTextFormat(Qt::PlainText);
    // A long status (a failure's detail, a file's path) wraps rather than widen the window.
    status_->setWordWrap(true);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // A long readout (a ruler's figures) is cut at the edge rather than widen the window.
    hover_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* column = new QVBoxLayout(this);
    column->addLayout(controls);
    column->addLayout(picture_controls);
    column->addLayout(file_controls);
    add_file_controls(column);
    column->addWidget(view_, 1);
    column->addWidget(status_);
    column->addWidget(recording_status_);
    column->addWidget(hover_);

    take_timer_.setSingleShot(true);
    stop_timer_.setSingleShot(true);
    stop_timer_.setInterval(Scan_worker::stop_bound_ms - 200);
    connect(&stop_timer_, &QTimer::timeout, this, [this] { worker_.cut_short(); });
    connect(&take_timer_, &QTimer::timeout, this, &Live_scan_window::take_scan);
    connect(start_button_, &QPushButton::clicked, this, &Live_scan_window::start);
    connect(stop_button_, &QPushButton::clicked, this, &Live_scan_window::request_stop);
    connect(pause_button_, &QPushButton::toggled, this, &Live_scan_window::pause_toggled);
    connect(fit_button, &QPushButton::clicked, view_, &Polar_view::fit);
    connect(fit_range_button, &QPushButton::clicked, view_, &Polar_view::fit_range);
    connect(xy_button, &QPushButton::toggled, view_, &Polar_view::set_cartesian);
    connect(ruler_button, &QPushButton::toggled, view_, &Polar_view::set_ruler_mode);
    connect(save_scan_button_, &QPushButton::clicked, this, &Live_scan_window::ask_save_scan);
    connect(save_picture_button, &QPushButton::clicked, this, &Live_scan_window::ask_save_picture);
    connect(kind_, &QComboBox::currentIndexChanged, this, &Live_scan_window::restart_with_new_kind);
    connect(view_, &Polar_view::hover_changed, hover_, &QLabel::setText);
    update_buttons();
    resize(720, 640);
}

// The worker waits for the measurement's end, bounded; a recording is closed behind it.
Live_scan_window::~Live_scan_window()
{
    worker_.request_stop();
    recorder_->end();
}

void Live_scan_window::set_available(bool available)
{
    available_ = available;
    if (!available) {
        release_pause();
        stop();
    }
    update_buttons();
}

void Live_scan_window::start()
{
    if (!available_) {
        status_->setText(tr("Not connected."));
        return;
    }
    if (worker_.running() || is_playing_back()) {
        return;
    }
    const auto type = static_cast<kvt::Lidar::measurement_type>(kind_->currentData().toInt());
    rate_ = 0;
    rate_base_ = 0;
    rate_clock_.start();
    since_take_.start();
    // A pause belongs to the run it was pressed in: a new run shows its own scans.
    release_pause();
    worker_.start(
        type, this,
        [this] {
            QMetaObject::invokeMethod(this, &Live_scan_window::scan_waiting, Qt::QueuedConnection);
        },
        [this] {
            take_scan();
            finish();
        },
        recorder_);
    status_->setText(tr("Starting..."));
    update_buttons();
    emit running_changed(true);
}

bool Live_scan_window::stop()
{
    restart_pending_ = false;
    if (!worker_.running()) {
        return true;
    }
    request_stop();
    return false;
}

void Live_scan_window::stop_for_close()
{
    worker_.leave_abort_if_unconfirmed();
    stop();
}

void Live_scan_window::request_stop()
{
    if (!worker_.running() || worker_.stopping()) {
        return;
    }
    worker_.request_stop();
    stop_timer_.start();
    status_->setText(tr("Stopping..."));
    update_buttons();
}

// The measurement's job has ended: say how.
void Live_scan_window::finish()
{
    take_timer_.stop();
    stop_timer_.stop();
    release_pause();
    const long count = worker_.scans_read();
    const std::string error = worker_.error();
    if (worker_.not_connected()) {
        status_->setText(tr("Not connected."));
    } else if (!error.empty()) {
        status_->setText(tr("Measurement stopped: %1").arg(QString::fromLatin1(error.c_str())));
    } else if (!worker_.stop_confirmed()) {
        status_->setText(tr("The sensor did not confirm the stop after %1 scans (%2); it may "
                            "still be measuring.")
                             .arg(count)
                             .arg(QString::fromLatin1(worker_.stop_failure().c_str())));
    } else {
        status_->setText(tr("Stopped after %1 scans.").arg(count));
    }
    end_recording_with_run();
    update_buttons();
    emit running_changed(false);
    if (restart_pending_) {
        restart_pending_ = false;
        if (worker_.stop_confirmed()) {
            start();
        }
    }
}

void Live_scan_window::closeEvent(QCloseEvent* event)
{
    stop();
    player_->pause();
    event->accept();
}

void Live_scan_window::scan_waiting()
{
    if (!worker_.running()) {
        return;
    }
    double first_deg, last_deg;
    long min_distance, max_distance;
    if (worker_.take_area(first_deg, last_deg, min_distance, max_distance)) {
        view_->set_area(first_deg, last_deg, min_distance, max_distance);
    }
    if (!take_timer_.isActive()) {
        take_timer_.start(std::max<int>(0, take_interval_ms - int(since_take_.elapsed())));
    }
}

void Live_scan_window::take_scan()
{
    if (!worker_.take(incoming_)) {
        return;
    }
    since_take_.restart();
    last_time_stamp_ = incoming_.time_stamp;
    if (!pause_button_->isChecked()) {
        view_->show_scan(incoming_);
        save_scan_button_->setEnabled(true);
    }
    show_counts();
}

void Live_scan_window::show_counts()
{
    const long count = worker_.scans_read();
    const qint64 elapsed = rate_clock_.elapsed();
    if (elapsed >= 1000) {
        rate_ = (count - rate_base_) * 1000.0 / elapsed;
        rate_base_ = count;
        rate_clock_.restart();
    }
    QString text = tr("%1 scans, %2 scans/s, last time stamp %3 ms")
                       .arg(count)
                       .arg(rate_, 0, 'f', 1)
                       .arg(last_time_stamp_);
    if (pause_button_->isChecked()) {
        text += ", " + tr("picture paused");
    }
    status_->setText(text);
}

void Live_scan_window::pause_toggled(bool)
{
    if (worker_.running()) {
        show_counts();
    }
}

void Live_scan_window::restart_with_new_kind()
{
    if (worker_.running() && !worker_.stopping()) {
        restart_pending_ = true;
        request_stop();
    }
}

void Live_scan_window::update_buttons()
{
    const bool running = worker_.running();
    start_button_->setEnabled(available_ && !running && !is_playing_back());
    stop_button_->setEnabled(running && !worker_.stopping());
    pause_button_->setEnabled(!is_playing_back());
    // What is on screen can be saved, paused or not.
    save_scan_button_->setEnabled(view_->scan().size() > 0);
    update_file_buttons();
}

void Live_scan_window::release_pause()
{
    const QSignalBlocker quiet(pause_button_);
    pause_button_->setChecked(false);
}

namespace {

// Writes beside the target and renames, so that a failed write leaves the old file as it
// was; an empty text on success, else why it failed.
QString write_whole_file(const QString& path, const char* data, qint64 size)
{
    // The rename would put the file in place of a device node or a folder's entry.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        return QCoreApplication::translate("Live_scan_window", "it is not a regular file");
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return file.errorString();
    }
    // A write the system cut short says why only when asked for the rest.
    for (qint64 done = 0; done < size;) {
        const qint64 written = file.write(data + done, size - done);
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += written;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return QString();
}

} // namespace

bool Live_scan_window::save_scan(const QString& path)
{
    const kvt::Scan_record& scan = view_->scan();
    if (scan.size() == 0) {
        hover_->setText(tr("No scan to save."));
        return false;
    }
    std::string text = kvt::scan_csv_header;
    text += '\n';
    kvt::append_scan_csv_rows(scan, text);
    const QString failure = write_whole_file(path, text.data(), static_cast<qint64>(text.size()));
    if (!failure.isEmpty()) {
        hover_->setText(tr("Could not write %1: %2").arg(path, failure));
        return false;
    }
    hover_->setText(tr("Saved scan %1 to %2.").arg(scan.number).arg(path));
    return true;
}

bool Live_scan_window::save_picture(const QString& path)
{
    // Encoded in memory first: the image writer would hide the file's error behind its own.
    QByteArray png;
    QBuffer buffer(&png);
    QString failure;
    if (!buffer.open(QIODevice::WriteOnly) || !view_->grab().save(&buffer, "PNG")) {
        failure = tr("the picture could not be encoded");
    } else {
        failure = write_whole_file(path, png.constData(), png.size());
    }
    if (!failure.isEmpty()) {
        hover_->setText(tr("Could not write %1: %2").arg(path, failure));
        return false;
    }
    hover_->setText(tr("Saved the picture to %1.").arg(path));
    return true;
}

void Live_scan_window::ask_save_scan()
{
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save scan"), "scan.csv", tr("CSV files (*.csv)"));
    if (!path.isEmpty()) {
        save_scan(path);
    }
}

void Live_scan_window::ask_save_picture()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save picture"), "scan.png",
                                                      tr("PNG images (*.png)"));
    if (!path.isEmpty()) {
        save_picture(path);
    }
}
