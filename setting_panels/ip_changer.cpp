#include "ip_changer.h"

#include "command_link.h"
#include "driver_owner.h"
#include "ip_address_widget.h"
#include "setting_commands.h"
#include "vyr_driver.h"

struct QVyr_ip_changer::Private
{
    explicit Private(kvt::Lidar& driver) : owner(Driver_owner::of(driver)) {}

    std::shared_ptr<Driver_owner> owner;
    Ip_address_widget ip_address;
    Ip_address_widget subnet_mask;
    Ip_address_widget default_gateway;
};

namespace {

setting_commands::Address fields_of(const Ip_address_widget& editor)
{
    setting_commands::Address fields;
    for (int index = 0; index < 4; ++index) {
        fields[size_t(index)] = editor.address_part(index).toStdString();
    }
    return fields;
}

} // namespace

QVyr_ip_changer::QVyr_ip_changer(kvt::Vyr_driver& driver, QWidget* parent)
    : QMainWindow(parent), d(std::make_unique<Private>(driver))
{
    setupUi(this);
    vlo_address->addWidget(&d->ip_address);
    vlo_address->addWidget(&d->subnet_mask);
    vlo_address->addWidget(&d->default_gateway);
    d->ip_address.set_address("192.168.0.11");
    d->subnet_mask.set_address("255.255.255.0");
    d->default_gateway.set_address("192.168.0.1");
}

// The editors live in the record, which goes before Qt deletes the children.
QVyr_ip_changer::~QVyr_ip_changer() = default;

setting_commands::Network_settings QVyr_ip_changer::network_settings() const
{
    return {fields_of(d->ip_address), fields_of(d->subnet_mask), fields_of(d->default_gateway)};
}

QString QVyr_ip_changer::make_compact_ip_command() const
{
    return QString::fromStdString(setting_commands::compact_address_command(network_settings()));
}

QString QVyr_ip_changer::make_dotted_ip_command() const
{
    return QString::fromStdString(setting_commands::dotted_address_command(network_settings()));
}

void QVyr_ip_changer::on_btn_change_ip_address_clicked()
{
    const QString address = d->ip_address.address();
    const QString head = tr("IP Address change") + "[" + address + "]" + " : ";
    emit report_status(head);
    d->owner->post(
        this,
        [settings = network_settings()](kvt::Lidar& driver) {
            Command_link link(driver);
            return setting_commands::change_address(link.commands(), settings);
        },
        [this, head, address](setting_commands::Address_result result) {
            if (result != setting_commands::Address_result::changed) {
                emit report_status(head + tr("fail"));
                return;
            }
            emit ip_changed(address);
            // What the new address sets off (the window closes the connection) is queued
            // now; the outcome follows it, as it did when both ran on this thread.
            d->owner->post(this, [](kvt::Lidar&) {},
                           [this, head] { emit report_status(head + tr("success")); });
        });
}
