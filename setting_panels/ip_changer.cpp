#include "ip_changer.h"

#include "address_check.h"
#include "address_verification.h"
#include "command_link.h"
#include "driver_owner.h"
#include "ip_address_widget.h"
#include "network_search.h"
#include "setting_commands.h"
#include "vyr_driver.h"

#include <atomic>
#include <thread>

namespace {

// What one press came to on the owner's thread.
struct Change_outcome
{
    setting_commands::Address_result result = setting_commands::Address_result::refused;
    std::string refusal; // not sent at all, for this reason
    int port = 0;        // where the sensor listens after its reboot
    bool simulated = false;
};

} // namespace

struct QVyr_ip_changer::Private
{
    explicit Private(kvt::Vyr_driver& sensor_driver)
        : driver(sensor_driver), owner(Driver_owner::of(sensor_driver))
    {
    }
    ~Private() { stop_verification(); }

    void stop_verification()
    {
        if (verification.joinable()) {
            stop_verifying = true;
            verification.join();
        }
        stop_verifying = false;
    }

    kvt::Vyr_driver& driver; // read on the owner's thread only
    std::shared_ptr<Driver_owner> owner;
    Ip_address_widget ip_address;
    Ip_address_widget subnet_mask;
    Ip_address_widget default_gateway;
    QString button_tip;
    int verification_wait_ms = address_verification::default_wait_ms;
    std::atomic<bool> stop_verifying{false};
    std::thread verification;
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
    d->button_tip = btn_change_ip_address->toolTip();
}

// The editors live in the record, which goes before Qt deletes the children.
QVyr_ip_changer::~QVyr_ip_changer() = default;

void QVyr_ip_changer::set_verification_wait_ms(int wait_ms)
{
    d->verification_wait_ms = wait_ms;
}

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
    const setting_commands::Network_settings settings = network_settings();
    kvt::Vyr_driver* driver = &d->driver;
    d->owner->post(
        this,
        [settings, driver](kvt::Lidar& lidar) {
            Change_outcome outcome;
            const kvt::Vyr_driver::Opened_target& target = driver->opened_target();
            const bool ethernet = target.type == kvt::Lidar::Ethernet;
            outcome.simulated = address_verification::simulated_sensor(ethernet, target.device);
            outcome.refusal = setting_commands::address_refusal(
                settings, ethernet && outcome.simulated);
            if (!outcome.refusal.empty()) {
                return outcome;
            }
            outcome.port = target.type == kvt::Lidar::Ethernet
                               ? int(target.baudrate)
                               : vyr_find::default_port;
            Command_link link(lidar);
            outcome.result = setting_commands::change_address(link.commands(), settings);
            return outcome;
        },
        [this, head, address, settings](const Change_outcome& outcome) {
            if (!outcome.refusal.empty()) {
                const QString reason = QString::fromStdString(outcome.refusal);
                btn_change_ip_address->setToolTip(reason);
                emit report_status(head + tr("fail"));
                emit refused(reason);
                return;
            }
            btn_change_ip_address->setToolTip(d->button_tip);
            if (outcome.result != setting_commands::Address_result::changed) {
                emit report_status(head + tr("fail"));
                return;
            }
            emit ip_changed(address);
            // What the new address sets off (the window closes the connection) is queued
            // now; the outcome follows it, as it did when both ran on this thread.
            d->owner->post(this, [](kvt::Lidar&) {}, [this, head, settings, outcome] {
                emit report_status(head + tr("success"));
                verify_in_background(settings, outcome.port, outcome.simulated);
            });
        });
}

// The driver is closed by the reboot and the owner is not needed: the check opens its own
// connections, on a thread of its own so that the window goes on.
void QVyr_ip_changer::verify_in_background(const setting_commands::Network_settings& settings,
                                           int port, bool simulated)
{
    address_verification::Request request;
    if (!setting_commands::address_value(settings.ip_address, request.address) ||
        !setting_commands::address_value(settings.subnet_mask, request.netmask) ||
        !setting_commands::address_value(settings.default_gateway, request.gateway)) {
        return;
    }
    request.port = port;
    request.simulated = simulated;
    request.wait_ms = d->verification_wait_ms;
    d->stop_verification();
    d->verification = std::thread([this, request] {
        const address_verification::Outcome outcome = address_verification::verify(
            request, vyr_find::system_interfaces(), &d->stop_verifying);
        if (d->stop_verifying) {
            return;
        }
        const QString text = QString::fromStdString(outcome.text);
        // Queued to this panel: dropped if it is gone, and it cannot go before the join.
        QMetaObject::invokeMethod(this, [this, text] { emit verified(text); },
                                  Qt::QueuedConnection);
    });
}
