// The live scan window's recordings: writing the measurement's scans to a file, and
// playing a file back in the view in place of the sensor.
#include "live_scan_window.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "measurement_kinds.h"
#include "polar_view.h"
#include "scan_playback.h"
#include "scan_recorder.h"

namespace {

QPushButton* add_file_button(QHBoxLayout* row, const QString& name, const QString& text)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    row->addWidget(button);
    return button;
}

QString megabytes(long long bytes)
{
    return QString::number(bytes / 1e6, 'f', 1);
}

} // namespace

// Two rows of their own: recording and opening, then the player, shown while a
// recording is open (its buttons, then its position and speed).
void Live_scan_window::add_file_controls(QVBoxLayout* column)
{
    auto* files = new QHBoxLayout;
    record_button_ = add_file_button(files, "btn_record", tr("Record..."));
    record_button_->setCheckable(true);
    open_recording_button_ = add_file_button(files, "btn_open_recording", tr("Open recording..."));
    close_recording_button_ = add_file_button(files, "btn_close_recording", tr("Close recording"));
    files->addStretch(1);
    column->addLayout(files);

    playback_controls_ = new QWidget;
    playback_controls_->setObjectName("playback_controls");
    auto* rows = new QVBoxLayout(playback_controls_);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    play_button_ = add_file_button(buttons, "btn_play", tr("Play"));
    play_button_->setCheckable(true);
    back_button_ = add_file_button(buttons, "btn_back", tr("Back"));
    back_button_->setToolTip(tr("One scan back"));
    forward_button_ = add_file_button(buttons, "btn_forward", tr("Forward"));
    forward_button_->setToolTip(tr("One scan forward"));
    speed_ = new QComboBox;
    speed_->setObjectName("cmb_speed");
    for (const double speed : {0.25, 0.5, 1.0, 2.0, 4.0}) {
        speed_->addItem(tr("%1x").arg(speed), speed);
    }
    speed_->addItem(tr("As fast as possible"), 0.0);
    speed_->setCurrentIndex(speed_->findData(1.0));
    buttons->addStretch(1);
    // The speed beside the position: with the three buttons it would not fit 420 px.
    auto* place = new QHBoxLayout;
    position_slider_ = new QSlider(Qt::Horizontal);
    position_slider_->setObjectName("sld_position");
    position_ = new QLabel;
    position_->setObjectName("lbl_position");
    place->addWidget(position_slider_, 1);
    place->addWidget(position_);
    place->addWidget(speed_);
    rows->addLayout(buttons);
    rows->addLayout(place);
    playback_controls_->hide();
    column->addWidget(playback_controls_);

    recording_status_ = new QLabel;
    recording_status_->setObjectName("lbl_recording");
    // A path is data, never markup.
    recording_status_->setTextFormat(Qt::PlainText);
    recording_status_->setWordWrap(true);
    recording_status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    recording_status_->hide();

    player_ = new Scan_playback(this);
    played_timer_.setSingleShot(true);
    recording_timer_.setInterval(250);
    connect(&recording_timer_, &QTimer::timeout, this, &Live_scan_window::show_recording);
    connect(record_button_, &QPushButton::clicked, this, &Live_scan_window::ask_record);
    connect(open_recording_button_, &QPushButton::clicked, this,
            &Live_scan_window::ask_open_recording);
    connect(close_recording_button_, &QPushButton::clicked, this,
            &Live_scan_window::close_recording);
    connect(play_button_, &QPushButton::clicked, this, [this] {
        player_->playing() ? player_->pause() : player_->play();
        play_button_->setChecked(player_->playing()); // a click alone does not play
    });
    connect(back_button_, &QPushButton::clicked, this, [this] { player_->step(-1); });
    connect(forward_button_, &QPushButton::clicked, this, [this] { player_->step(1); });
    connect(speed_, &QComboBox::currentIndexChanged, this,
            [this] { player_->set_speed(speed_->currentData().toDouble()); });
    connect(position_slider_, &QSlider::valueChanged, player_, [this](int index) { player_->seek(index); });
    connect(player_, &Scan_playback::playing_changed, this, [this](bool playing) {
        play_button_->setChecked(playing);
        play_button_->setText(playing ? tr("Pause") : tr("Play"));
    });
    // At most one scan a frame while playing, as live; a step or a seek shows at once.
    connect(player_, &Scan_playback::scan_waiting, this, [this] {
        if (!player_->playing()) {
            take_played_scan();
        } else if (!played_timer_.isActive()) {
            played_timer_.start(
                std::max<int>(0, Scan_playback::frame_ms - int(since_played_.elapsed())));
        }
    });
    connect(&played_timer_, &QTimer::timeout, this, &Live_scan_window::take_played_scan);
    connect(player_, &Scan_playback::failed, status_, &QLabel::setText);
    since_played_.start();
}

void Live_scan_window::update_file_buttons()
{
    const bool running = worker_.running();
    const bool playing_back = is_playing_back();
    const Scan_recorder::State state = recorder_->progress().state;
    const bool recording =
        state == Scan_recorder::State::armed || state == Scan_recorder::State::recording;
    if (record_button_->isChecked() != recording) {
        record_button_->setChecked(recording);
        record_button_->setText(recording ? tr("Stop recording") : tr("Record..."));
    }
    // A new recording waits until the last one is closed.
    record_button_->setEnabled(recording || (available_ && !playing_back &&
                                             state != Scan_recorder::State::closing));
    open_recording_button_->setEnabled(!running);
    close_recording_button_->setEnabled(playing_back);
    kind_->setEnabled(!playing_back);
    playback_controls_->setVisible(playing_back);
}

bool Live_scan_window::is_recording() const
{
    const Scan_recorder::State state = recorder_->progress().state;
    return state == Scan_recorder::State::armed || state == Scan_recorder::State::recording;
}

bool Live_scan_window::is_playing_back() const
{
    return player_->is_open();
}

void Live_scan_window::ask_record(bool start)
{
    if (!start) {
        stop_recording();
        return;
    }
    const QString name =
        QDateTime::currentDateTime().toString("'scans-'yyyyMMdd-HHmmss'.ndjson'");
    const QString path = QFileDialog::getSaveFileName(this, tr("Record scans"), name,
                                                      tr("Scan recordings (*.ndjson)"));
    if (path.isEmpty() || !record_to(path)) {
        update_buttons();
    }
}

bool Live_scan_window::record_to(const QString& path)
{
    if (!available_ || is_playing_back()) {
        recording_status_->setText(is_playing_back() ? tr("Close the recording to record.")
                                                     : tr("Not connected."));
        recording_status_->show();
        return false;
    }
    if (!recorder_->arm(QFile::encodeName(path).toStdString())) {
        return false;
    }
    // The file holds a measurement from its first scan, with the header made before it.
    if (worker_.running()) {
        restart_pending_ = true;
        request_stop();
    } else {
        start();
    }
    recording_timer_.start();
    show_recording();
    update_buttons();
    return true;
}

void Live_scan_window::stop_recording()
{
    recorder_->end();
    show_recording();
    update_buttons();
}

// The run has ended: so has its recording, unless it waits for the run that follows.
void Live_scan_window::end_recording_with_run()
{
    const bool restarts = restart_pending_ && worker_.stop_confirmed() && available_;
    if (!restarts || recorder_->progress().state != Scan_recorder::State::armed) {
        recorder_->end();
    }
    show_recording();
}

void Live_scan_window::show_recording()
{
    const Scan_recorder::Progress progress = recorder_->progress();
    const QString path = QFile::decodeName(progress.path.c_str());
    const QString scans = QString::number(progress.scans);
    switch (progress.state) {
    case Scan_recorder::State::idle:
        // Dropped before its measurement began: nothing was recorded.
        if (recording_timer_.isActive()) {
            recording_timer_.stop();
            recording_status_->hide();
        }
        return;
    case Scan_recorder::State::armed:
        recording_status_->setText(tr("Recording to %1...").arg(path));
        break;
    case Scan_recorder::State::recording:
        recording_status_->setText(
            tr("Recording: %1 scans, %2 MB").arg(scans, megabytes(progress.bytes)));
        break;
    case Scan_recorder::State::closing:
        recording_status_->setText(
            tr("Closing the recording: %1 scans, %2 MB").arg(scans, megabytes(progress.bytes)));
        break;
    case Scan_recorder::State::done:
        recording_status_->setText(tr("Recorded %1 scans (%2 MB) to %3.")
                                       .arg(scans, megabytes(progress.bytes), path));
        break;
    case Scan_recorder::State::failed:
        recording_status_->setText(
            progress.opened
                ? tr("Recording stopped after %1 scans in %2: %3")
                      .arg(scans, path, QString::fromStdString(progress.error))
                : tr("Could not record to %1: %2")
                      .arg(path, QString::fromStdString(progress.error)));
        break;
    }
    recording_status_->show();
    if (progress.state == Scan_recorder::State::done ||
        progress.state == Scan_recorder::State::failed) {
        recorder_->acknowledge();
        recording_timer_.stop();
        update_buttons();
    } else {
        recording_timer_.start();
    }
}

void Live_scan_window::ask_open_recording()
{
    if (worker_.running()) {
        status_->setText(tr("Stop the measurement to open a recording."));
        return;
    }
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open recording"), QString(), tr("Scan recordings (*.ndjson);;All files (*)"));
    if (!path.isEmpty()) {
        open_recording(path);
    }
}

bool Live_scan_window::open_recording(const QString& path)
{
    if (worker_.running()) {
        status_->setText(tr("Stop the measurement to open a recording."));
        return false;
    }
    release_pause();
    played_timer_.stop();
    if (!player_->open(path)) {
        status_->setText(tr("Could not open %1: %2").arg(path, player_->error()));
        position_->clear();
        update_buttons();
        return false;
    }
    const kvt::Recording_header& header = player_->header();
    {
        // The box names what is played; Start takes it up once the recording is closed.
        const QSignalBlocker quiet(kind_);
        kind_->setCurrentIndex(kind_->findData(header.type));
    }
    if (header.steps_per_rev > 0 && header.max_distance > 0) {
        view_->set_area(kvt::recorded_step_deg(header.min_step, header.steps_per_rev),
                        kvt::recorded_step_deg(header.max_step, header.steps_per_rev),
                        header.min_distance, header.max_distance);
    }
    QString about = tr("Recording %1: %2 scans, %3")
                        .arg(QFileInfo(path).fileName())
                        .arg(player_->count())
                        .arg(tr(kvt::measurement_kind(header.type)->list_text));
    for (const std::string& text : {header.product, header.serial_number, header.started_utc}) {
        if (!text.empty()) {
            about += ", " + QString::fromStdString(text);
        }
    }
    status_->setText(about);
    {
        const QSignalBlocker quiet(position_slider_);
        position_slider_->setRange(0, int(std::min<long>(player_->count() - 1, INT_MAX)));
        position_slider_->setValue(0);
    }
    player_->set_speed(speed_->currentData().toDouble());
    player_->seek(0);
    show_position();
    update_buttons();
    // Space plays.
    play_button_->setFocus();
    return true;
}

void Live_scan_window::close_recording()
{
    player_->close();
    played_timer_.stop();
    position_->clear();
    status_->setText(tr("Stopped."));
    update_buttons();
}

void Live_scan_window::take_played_scan()
{
    if (!player_->take(incoming_)) {
        return;
    }
    since_played_.restart();
    view_->show_scan(incoming_);
    save_scan_button_->setEnabled(true);
    show_position();
}

void Live_scan_window::show_position()
{
    const long at = std::max(0L, player_->position());
    {
        const QSignalBlocker quiet(position_slider_);
        position_slider_->setValue(int(std::min<long>(at, INT_MAX)));
    }
    position_->setText(tr("Scan %1 of %2, %3 s of %4 s")
                           .arg(at + 1)
                           .arg(player_->count())
                           .arg(player_->seconds(at), 0, 'f', 1)
                           .arg(player_->seconds(player_->count() - 1), 0, 'f', 1));
}
