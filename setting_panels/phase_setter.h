#ifndef VYR_SETTING_PANELS_PHASE_SETTER_H
#define VYR_SETTING_PANELS_PHASE_SETTER_H

#include <QMainWindow>
#include <QString>

#include <memory>

#include "command_link.h"
#include "number_from_text.h"
#include "ui_phase_setter.h"

class Driver_owner;

namespace kvt {
class Vyr_driver;
}

// Reads the sensor's phase (0 to 359 degrees) into the spin box or sets it from there.
class QVyr_phase_setter : public QMainWindow, private Ui::QVyr_phase_setter
{
    Q_OBJECT

public:
    // The driver is borrowed from the connection panel and must outlive the panel.
    explicit QVyr_phase_setter(kvt::Vyr_driver& driver, QWidget* parent = nullptr);
    ~QVyr_phase_setter() override;

signals:
    void report_status(QString status);

private slots:
    void on_btn_update_clicked();
    void on_btn_get_clicked();

private:
    std::shared_ptr<Driver_owner> owner;
};

#endif
