#include "heater_setter.h"

#include "command_link.h"
#include "vyr_driver.h"

struct QVyr_heater_setter::Private
{
    Private(kvt::Lidar& driver, QVyr_heater_setter* owner)
        : driver(driver), owner(owner), link(driver)
    {
    }

    kvt::Lidar& driver;
    QVyr_heater_setter* owner;
    Command_link link;
};

QVyr_heater_setter::QVyr_heater_setter(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), d(new Private(driver, this))
{
    setupUi(this);
}

QVyr_heater_setter::~QVyr_heater_setter()
{
    delete d;
}

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
    const QString head = tr("Set heater") + "[" + button->text() + "]" + " : ";
    emit report_status(head);

    d->link.send_command(on ? QStringLiteral("%AH1\n") : QStringLiteral("%AH0\n"));
    QString response;
    const bool accepted = d->link.receive_response(response, QStringLiteral("00P"), 2000);

    emit report_status(head + (accepted ? tr("success") : tr("fail")));
}
