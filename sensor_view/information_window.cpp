#include "information_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "sensor_information.h"

Information_window::Information_window(kvt::Vyr_driver& driver, QWidget* parent)
    : QWidget(parent, Qt::Window), driver_(driver), owner_(Driver_owner::of(driver))
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
    available_ = available;
    update_button();
}

void Information_window::update_button()
{
    refresh_button_->setEnabled(available_ && !reading_);
}

void Information_window::refresh()
{
    if (!available_) {
        status_->setText(tr("Not connected."));
        return;
    }
    if (reading_) {
        return; // the answer on its way shows what this one would
    }
    reading_ = true;
    update_button();
    kvt::Vyr_driver& driver = driver_;
    owner_->post(
        this, [&driver](kvt::Lidar&) { return kvt::read_sensor_information(driver); },
        [this](const kvt::Sensor_information& info) {
            reading_ = false;
            update_button();
            show_information(info);
        });
}

void Information_window::show_information(const kvt::Sensor_information& info)
{
    if (info.error == kvt::Error::not_connected && info.failed == info.Product) {
        status_->setText(tr("Not connected."));
        return;
    }
    using Part = kvt::Sensor_information::Part;
    const auto show_text = [&](QLabel* label, Part part, const std::string& text) {
        if (info.has(part)) {
            label->setText(QString::fromLatin1(text.data(), static_cast<int>(text.size())));
        } else if (part == info.failed) {
            QString shown = QString::fromLatin1(info.error_text.c_str());
            if (!info.error_detail.empty()) {
                shown += " (" + QString::fromLatin1(info.error_detail.c_str()) + ")";
            }
            label->setText(shown);
        } else {
            label->setText(tr("not read"));
        }
    };
    show_text(product_, Part::Product, info.product);
    show_text(firmware_, Part::Firmware_version, info.firmware_version);
    show_text(serial_, Part::Serial_number, info.serial_number);
    show_text(status_, Part::Sensor_status, info.sensor_status);
    if (info.has(Part::Sensor_status)) {
        stable_->setText(info.stable ? tr("\u2714 stable") : tr("\u2716 not stable"));
        stable_->setStyleSheet(info.stable ? "color: #1a7f1a; font-weight: bold"
                                           : "color: #c01818; font-weight: bold");
    } else {
        stable_->setText(tr("not read"));
        stable_->setStyleSheet(QString());
    }
    show_text(state_, Part::Measurement_state, info.measurement_state);

    steps_->setText(tr("%1 to %2 (%3° to %4°)")
                        .arg(info.min_step)
                        .arg(info.max_step)
                        .arg(info.min_step_deg, 0, 'f', 3)
                        .arg(info.max_step_deg, 0, 'f', 3));
    distances_->setText(tr("%1 to %2 mm").arg(info.min_distance).arg(info.max_distance));
    const long period = info.scan_period_usec;
    period_->setText(
        tr("%1 us (%2 scans/s)").arg(period).arg(period > 0 ? 1e6 / period : 0.0, 0, 'f', 1));
    steps_per_scan_->setText(QString::number(info.steps_per_scan));
}
