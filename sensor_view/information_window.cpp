#include "information_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

Information_window::Information_window(kvt::Lidar& lidar, QWidget* parent)
    : QWidget(parent, Qt::Window), lidar_(lidar)
{
    setObjectName("Information_window");
    setWindowTitle(tr("Sensor information"));
    form_ = new QFormLayout;
    product_ = add_row("lbl_product", tr("Product"));
    firmware_ = add_row("lbl_firmware", tr("Firmware version"));
    serial_ = add_row("lbl_serial", tr("Serial number"));
    status_ = add_row("lbl_sensor_status", tr("Sensor status"));
    stable_ = add_row("lbl_stable", tr("Stable"));
    state_ = add_row("lbl_measurement_state", tr("Measurement state"));
    steps_ = add_row("lbl_step_limits", tr("Step limits"));
    distances_ = add_row("lbl_distance_limits", tr("Distance limits"));
    period_ = add_row("lbl_scan_period", tr("Scan period"));
    steps_per_scan_ = add_row("lbl_steps_per_scan", tr("Steps per scan"));

    refresh_button_ = new QPushButton(tr("Refresh"));
    refresh_button_->setObjectName("btn_refresh");
    connect(refresh_button_, &QPushButton::clicked, this, &Information_window::refresh);

    auto* column = new QVBoxLayout(this);
    column->addLayout(form_);
    column->addWidget(refresh_button_, 0, Qt::AlignRight);
}

QLabel* Information_window::add_row(const char* name, const QString& title)
{
    auto* value = new QLabel;
    value->setObjectName(name);
    // Sensor texts are data: markup in them must show as written, never load or link.
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form_->addRow(title, value);
    return value;
}

void Information_window::set_available(bool available)
{
    refresh_button_->setEnabled(available);
}

namespace {

// What the driver gives instead of a text the sensor did not send.
bool is_failure_text(const char* text)
{
    return std::strcmp(text, "receive error.") == 0 || std::strcmp(text, "not connected.") == 0;
}

} // namespace

void Information_window::refresh()
{
    if (!refresh_button_->isEnabled() || !lidar_.is_open()) {
        status_->setText(tr("Not connected."));
        return;
    }
    // One look asks the sensor several times; after the first question it left
    // unanswered the rest would only wait as long again, so they are not asked.
    bool answered = true;
    const auto show_text = [&](QLabel* label, const char* (kvt::Lidar::*query)()) {
        if (!answered) {
            label->setText(tr("not read"));
            return false;
        }
        const char* text = (lidar_.*query)();
        QString shown = QString::fromLatin1(text);
        if (is_failure_text(text)) {
            answered = false;
            const QString detail = QString::fromLatin1(lidar_.last_error_detail());
            if (!detail.isEmpty()) {
                shown += " (" + detail + ")";
            }
        }
        label->setText(shown);
        return answered;
    };
    show_text(product_, &kvt::Lidar::product);
    show_text(firmware_, &kvt::Lidar::firmware_version);
    show_text(serial_, &kvt::Lidar::serial_number);
    if (show_text(status_, &kvt::Lidar::sensor_status)) {
        const bool stable = lidar_.is_stable();
        stable_->setText(stable ? tr("\u2714 stable") : tr("\u2716 not stable"));
        stable_->setStyleSheet(stable ? "color: #1a7f1a; font-weight: bold"
                                      : "color: #c01818; font-weight: bold");
    } else {
        stable_->setText(tr("not read"));
        stable_->setStyleSheet(QString());
    }
    show_text(state_, &kvt::Lidar::measurement_state);

    const int first = lidar_.min_step(), last = lidar_.max_step();
    steps_->setText(tr("%1 to %2 (%3° to %4°)")
                        .arg(first)
                        .arg(last)
                        .arg(lidar_.step_to_deg(first), 0, 'f', 3)
                        .arg(lidar_.step_to_deg(last), 0, 'f', 3));
    distances_->setText(tr("%1 to %2 mm").arg(lidar_.min_distance()).arg(lidar_.max_distance()));
    const long period = lidar_.scan_period_usec();
    period_->setText(
        tr("%1 us (%2 scans/s)").arg(period).arg(period > 0 ? 1e6 / period : 0.0, 0, 'f', 1));
    steps_per_scan_->setText(QString::number(kvt::steps_per_scan(lidar_)));
}
