#ifndef VYR_SETTING_PANELS_HEATER_SETTER_H
#define VYR_SETTING_PANELS_HEATER_SETTER_H

#include <QMainWindow>
#include <QString>

#include <memory>

#include "command_link.h"
#include "ui_heater_setter.h"

class Driver_owner;

namespace kvt {
class Vyr_driver;
}

// Switches the sensor's heater on or off; keeps no heater state.
class QVyr_heater_setter : public QMainWindow, private Ui::QVyr_heater_setter
{
    Q_OBJECT

public:
    // The driver is borrowed from the connection panel and must outlive the panel.
    explicit QVyr_heater_setter(kvt::Vyr_driver& driver, QWidget* parent = nullptr);
    ~QVyr_heater_setter() override;

signals:
    void report_status(QString status);

private slots:
    void on_btn_heater_on_clicked();
    void on_btn_heater_off_clicked();

private:
    void set_heater(bool on);

    std::shared_ptr<Driver_owner> owner;
};

#endif
