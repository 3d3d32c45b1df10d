#include "phase_setter.h"

#include <QStringList>

#include "command_link.h"
#include "vyr_driver.h"

struct QVyr_phase_setter::Private
{
    Private(kvt::Lidar& driver, QVyr_phase_setter* owner)
        : driver(driver), owner(owner), link(driver)
    {
    }

    kvt::Lidar& driver;
    QVyr_phase_setter* owner;
    Command_link link;
};

namespace {

const int reply_time_out_ms = 1000;

} // namespace

QVyr_phase_setter::QVyr_phase_setter(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), d(new Private(driver, this))
{
    setupUi(this);
}

QVyr_phase_setter::~QVyr_phase_setter()
{
    delete d;
}

void QVyr_phase_setter::on_btn_update_clicked()
{
    const int value = spn_phase_value->value();
    const QString head = tr("Phase change") + QString("[%1] : ").arg(value);
    emit report_status(head);

    d->link.send_command(QString("%SP%1\n").arg(value, 3, 10, QLatin1Char('0')));
    QString response;
    const bool accepted =
        d->link.receive_response(response, QStringLiteral("00P"), reply_time_out_ms);

    emit report_status(head + (accepted ? tr("success") : tr("fail")));
}

void QVyr_phase_setter::on_btn_get_clicked()
{
    const QString head = tr("Current Phase get") + " : ";
    emit report_status(head);

    d->link.send_command(QStringLiteral("%PG\n"));
    QString response;
    if (!d->link.receive_response(response, QStringLiteral("00P"), reply_time_out_ms)) {
        emit report_status(head + tr("fail"));
        return;
    }
    const QStringList lines = response.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    if (lines.size() < 3) {
        emit report_status(head + tr("fail"));
        return;
    }
    // The data line starts with three decimal digits; the rest of it is not ours.
    const int value = number_from_text(lines.at(2), 0, 3, 10);
    spn_phase_value->setValue(value);
    emit report_status(head + QString::number(value));
}
