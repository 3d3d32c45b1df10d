#include "information_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form_->addRow(title, value);
    return value;
}

void Information_window::set_available(bool available)
{
    refresh_button_->setEnabled(available);
}

void Information_window::refresh()
{
    if (!refresh_button_->isEnabled() || !lidar_.is_open()) {
        status_->setText(tr("Not connected."));
        return;
    }
    product_->setText(QString::fromLatin1(lidar_.product()));
    firmware_->setText(QString::fromLatin1(lidar_.firmware_version()));
    serial_->setText(QString::fromLatin1(lidar_.serial_number()));
    status_->setText(QString::fromLatin1(lidar_.sensor_status()));
    const bool stable = lidar_.is_stable();
    stable_->setText(stable ? tr("\u2714 stable") : tr("\u2716 not stable"));
    stable_->setStyleSheet(stable ? "color: #1a7f1a; font-weight: bold"
                                  : "color: #c01818; font-weight: bold");
    state_->setText(QString::fromLatin1(lidar_.measurement_state()));

    const int first = lidar_.min_step(), last = lidar_.max_step();
    steps_->setText(tr("%1 to %2 (%3° to %4°)")
                        .arg(first)
                        .arg(last)
                        .arg(lidar_.step_to_deg(first), 0, 'f', 3)
                        .arg(lidar_.step_to_deg(last), 0, 'f', 3));
    distances_->setText(tr("%1 to %2 mm").arg(lidar_.min_distance()).arg(lidar_.max_distance()));
    const long period = lidar_.scan_period_usec();
    period_->setText(tr("%1 us (%2 scans/s)").arg(period).arg(period > 0 ? 1e6 / period : 0.0, 0, 'f', 1));
    steps_per_scan_->setText(QString::number(last >= first ? last - first + 1 : 0));
}
