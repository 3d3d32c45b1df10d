#include "heater_setter.h"

#include "driver_owner.h"
#include "setting_commands.h"
#include "setting_step.h"
#include "vyr_driver.h"

QVyr_heater_setter::QVyr_heater_setter(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), owner(Driver_owner::of(driver))
{
    setupUi(this);
}

QVyr_heater_setter::~QVyr_heater_setter() = default;

void QVyr_heater_setter::on_btn_heater_on_clicked()
{
    set_heater(true);
}

void QVyr_heater_setter::on_btn_heater_off_clicked()
{
    set_heater(false);
}

void QVyr_heater_setter::set_heater(bool on)
{
    // The caption is read at press time so that a translated caption shows in the text.
    const QPushButton* button = on ? btn_heater_on : btn_heater_off;
    run_setting_step(
        this, *owner, tr("Set heater") + "[" + button->text() + "]" + " : ",
        [on](kvt::Lidar& driver) {
            Command_link link(driver);
            return setting_commands::set_heater(link.commands(), on);
        },
        [](bool done) { return done ? tr("success") : tr("fail"); });
}
