#include "ip_changer.h"

#include "command_link.h"
#include "ip_address_widget.h"
#include "setting_commands.h"
#include "setting_step.h"
#include "vyr_driver.h"

struct QVyr_ip_changer::Private
{
    explicit Private(kvt::Lidar& driver) : link(driver) {}

    Command_link link;
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
    run_setting_step(
        this, tr("IP Address change") + "[" + d->ip_address.address() + "]" + " : ", [&] {
            using setting_commands::Address_result;
            if (setting_commands::change_address(d->link.commands(), network_settings()) !=
                Address_result::changed) {
                return tr("fail");
            }
            emit ip_changed(d->ip_address.address());
            return tr("success");
        });
}
