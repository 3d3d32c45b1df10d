#include "phase_setter.h"

#include "setting_commands.h"
#include "setting_step.h"
#include "vyr_driver.h"

QVyr_phase_setter::QVyr_phase_setter(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), link(driver)
{
    setupUi(this);
}

QVyr_phase_setter::~QVyr_phase_setter() = default;

void QVyr_phase_setter::on_btn_update_clicked()
{
    const int value = spn_phase_value->value();
    run_setting_step(this, tr("Phase change") + QString("[%1] : ").arg(value), [&] {
        return setting_commands::set_phase(link.commands(), value) ? tr("success") : tr("fail");
    });
}

void QVyr_phase_setter::on_btn_get_clicked()
{
    run_setting_step(this, tr("Current Phase get") + " : ", [&] {
        const int value = setting_commands::get_phase(link.commands());
        if (value < 0) {
            return tr("fail");
        }
        spn_phase_value->setValue(value);
        return QString::number(value);
    });
}
