#include "ip_changer.h"

#include "command_link.h"
#include "ip_address_widget.h"
#include "vyr_driver.h"

struct QVyr_ip_changer::Private
{
    Private(kvt::Lidar& driver, QVyr_ip_changer* owner) : driver(driver), owner(owner), link(driver)
    {
    }

    kvt::Lidar& driver;
    QVyr_ip_changer* owner;
    Command_link link;
    Ip_address_widget ip_address;
    Ip_address_widget subnet_mask;
    Ip_address_widget default_gateway;
};

namespace {

const int reply_time_out_ms = 1000;

// Each field three digits wide, zero-filled on the left; an empty field becomes 000.
QString padded_fields(const Ip_address_widget& editor, const QString& separator)
{
    QStringList fields;
    for (int index = 0; index < 4; ++index) {
        fields << QString("%1").arg(editor.address_part(index), 3, QLatin1Char('0'));
    }
    return fields.join(separator);
}

} // namespace

QVyr_ip_changer::QVyr_ip_changer(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), d(new Private(driver, this))
{
    setupUi(this);
    vlo_address->addWidget(&d->ip_address);
    vlo_address->addWidget(&d->subnet_mask);
    vlo_address->addWidget(&d->default_gateway);
    d->ip_address.set_address("192.168.0.11");
    d->subnet_mask.set_address("255.255.255.0");
    d->default_gateway.set_address("192.168.0.1");
}

QVyr_ip_changer::~QVyr_ip_changer()
{
    // The editors live in the record, so they must go before Qt deletes the children.
    delete d;
}

QString QVyr_ip_changer::make_compact_ip_command() const
{
    return "$IP" + padded_fields(d->ip_address, QString()) +
           padded_fields(d->subnet_mask, QString()) + padded_fields(d->default_gateway, QString()) +
           "\n";
}

QString QVyr_ip_changer::make_dotted_ip_command() const
{
    return "$IP" + padded_fields(d->ip_address, ".") + " " + padded_fields(d->subnet_mask, ".") +
           " " + padded_fields(d->default_gateway, ".") + "\n";
}

void QVyr_ip_changer::on_btn_change_ip_address_clicked()
{
    const QString head = tr("IP Address change") + "[" + d->ip_address.address() + "]" + " : ";
    emit report_status(head);

    QString response;
    d->link.send_command(make_compact_ip_command());
    bool accepted = d->link.receive_response(response, QStringLiteral("0"), reply_time_out_ms);
    if (!accepted) {
        // Sensors that do not know the compact form want the dotted one.
        d->link.send_command(make_dotted_ip_command());
        response.clear();
        accepted = d->link.receive_response(response, QStringLiteral("00P"), reply_time_out_ms);
        if (!accepted) {
            emit report_status(head + tr("fail"));
            return;
        }
    }

    d->driver.reboot();
    emit ip_changed(d->ip_address.address());
    emit report_status(head + tr("success"));
}
