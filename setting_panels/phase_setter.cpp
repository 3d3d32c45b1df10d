#include "phase_setter.h"

#include "driver_owner.h"
#include "setting_commands.h"
#include "setting_step.h"
#include "vyr_driver.h"

QVyr_phase_setter::QVyr_phase_setter(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), owner(Driver_owner::of(driver))
{
    setupUi(this);
}

QVyr_phase_setter::~QVyr_phase_setter() = default;

void QVyr_phase_setter::on_btn_update_clicked()
{
    const int value = spn_phase_value->value();
    run_setting_step(
        this, *owner, tr("Phase change") + QString("[%1] : ").arg(value),
        [value](kvt::Lidar& driver) {
            Command_link link(driver);
            return setting_commands::set_phase(link.commands(), value);
        },
        [](bool done) { return done ? tr("success") : tr("fail"); });
}

void QVyr_phase_setter::on_btn_get_clicked()
{
    run_setting_step(
        this, *owner, tr("Current Phase get") + " : ",
        [](kvt::Lidar& driver) {
            Command_link link(driver);
            return setting_commands::get_phase(link.commands());
        },
        [this](int value) {
            if (value < 0) {
                return tr("fail");
            }
            spn_phase_value->setValue(value);
            return QString::number(value);
        });
}
