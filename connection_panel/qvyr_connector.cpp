#include "qvyr_connector.h"

#include <QSettings>
#include <QStringList>

#include <cerrno>
#include <string>
#include <vector>

#include "address_ranges.h"
#include "connect_reason.h"
#include "connection_settings.h"
#include "driver_owner.h"
#include "subnet_advice.h"

namespace {

struct Open_result
{
    bool opened = false;
    QString reason;
};

// Runs on the owner's thread, right after the failed open, before anything else clears
// what the driver recorded.
QString failure_reason(kvt::Lidar& driver, const std::string& target, bool ethernet)
{
    auto* vyr = dynamic_cast<kvt::Vyr_driver*>(&driver);
    if (!vyr) {
        return QString::fromLatin1(driver.last_error_text());
    }
    const kvt::System_reason& system = vyr->system_reason();
    uint32_t address = 0;
    if (ethernet &&
        (system.number == ETIMEDOUT || system.number == ENETUNREACH ||
         system.number == EHOSTUNREACH) &&
        vyr_find::parse_address(target, address)) {
        const std::string advice = subnet_advice(address, vyr_find::system_interfaces());
        if (!advice.empty()) {
            return QVyr_connector::tr("this computer has no address in the sensor's subnet "
                                      "(add one: %1)")
                .arg(QString::fromStdString(advice));
        }
    }
    // The sensor's own bytes may be in the detail: Latin-1 shows every one of them.
    const std::string reason = open_failure_reason(vyr->last_error_detail(), system, !ethernet);
    return QString::fromLatin1(reason.data(), static_cast<qsizetype>(reason.size()));
}

} // namespace

struct QVyr_connector::Private
{
    explicit Private(QVyr_connector* connector)
        : owner(connector), driver_owner(Driver_owner::of(connector->vyr_driver)),
          settings(usable_settings_file(), QSettings::IniFormat)
    {
        baudrate_list.append({"115200", "38400", "19200"});
    }

    void load_settings();
    void save_settings(QSettings& target);
    void switch_mode(bool is_ethernet, bool save_fields);
    void rebuild_device_list();
    // Counts the panel's own connects and disconnects under way; while there is one, the
    // button and the fields wait.
    void exchange_started();
    void exchange_ended();
    void update_enabled();
    // After every job: a link found gone is closed and the panel goes back to "Connect".
    void check_link();

    QVyr_connector* owner;
    // Runs the opens and closes; held until the driver goes.
    std::shared_ptr<Driver_owner> driver_owner;
    int exchanges = 0;
    // The button had the keyboard when it was pressed; disabling it moved the focus away.
    bool focus_back = false;
    QSettings settings;
    // While set, the mode switch must not overwrite the loaded values with the empty fields.
    bool is_loading = true;
    QString ip_address;
    int port_num = 0;
    int baudrate_index = 0;
    QString device_name;
    QStringList device_list;
    QStringList baudrate_list;
};

void QVyr_connector::Private::load_settings()
{
    const Connection_values loaded = read_connection_settings(settings);
    ip_address = loaded.ip_address;
    port_num = loaded.port_num;
    device_name = loaded.device_name;
    baudrate_index = loaded.baudrate_index;

    // Checking Ethernet runs the mode switch through its toggled signal already.
    owner->rdb_serial->setChecked(!loaded.is_ethernet);
    owner->rdb_ethernet->setChecked(loaded.is_ethernet);
    switch_mode(loaded.is_ethernet, false);
    is_loading = false;
}

void QVyr_connector::Private::save_settings(QSettings& target)
{
    if (owner->rdb_ethernet->isChecked()) {
        write_ethernet_settings(target, owner->cmb_device->currentText(),
                                owner->cmb_device_num->currentText(), baudrate_index, device_name);
    } else {
        write_serial_settings(target, owner->cmb_device->currentText(),
                              owner->cmb_device_num->currentIndex(), ip_address, port_num);
    }
}

void QVyr_connector::Private::switch_mode(bool is_ethernet, bool save_fields)
{
    QComboBox* upper = owner->cmb_device;
    QComboBox* lower = owner->cmb_device_num;

    if (is_ethernet) {
        if (save_fields) {
            device_name = upper->currentText();
            baudrate_index = lower->currentIndex();
        }
        upper->clear();
        lower->clear();
        upper->addItem(ip_address);
        lower->addItem(QString::number(port_num));
        owner->label->setText(QVyr_connector::tr("IP Address"));
        owner->label_2->setText(QVyr_connector::tr("Port No."));
    } else {
        if (save_fields) {
            ip_address = upper->currentText();
            port_num = lower->currentText().toInt();
        }
        upper->clear();
        lower->clear();
        if (owner->rdb_serial->isChecked())
            rebuild_device_list();
        lower->addItems(baudrate_list);
        lower->setCurrentIndex(baudrate_index);
        owner->label->setText(QVyr_connector::tr("Device"));
        owner->label_2->setText(QVyr_connector::tr("Baudrate"));
    }
    owner->btn_refresh->setVisible(!is_ethernet);
    upper->setEditable(is_ethernet);
    lower->setEditable(is_ethernet);
}

void QVyr_connector::Private::rebuild_device_list()
{
    device_list.clear();
    const std::vector<kvt::Port_entry> ports = kvt::Vyr_driver::list_port_entries();
    const QByteArray wanted = device_name.toLatin1();

    int selected = ports.empty() ? -1 : 0;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i].name;
        device_list << QString::fromLatin1(port.data(), static_cast<qsizetype>(port.size()));
        if (port.size() == static_cast<std::size_t>(wanted.size()) &&
            port.compare(0, port.size(), wanted.constData(), port.size()) == 0)
            selected = static_cast<int>(i);
    }

    owner->cmb_device->clear();
    owner->cmb_device->addItems(device_list);
    owner->cmb_device->setCurrentIndex(selected);
}

void QVyr_connector::Private::exchange_started()
{
    if (exchanges++ == 0) {
        focus_back = owner->btn_connect->window()->focusWidget() == owner->btn_connect;
    }
    update_enabled();
}

void QVyr_connector::Private::exchange_ended()
{
    --exchanges;
    update_enabled();
    // The next key goes where it went before the wait: from the button on down the panels.
    if (exchanges == 0 && focus_back) {
        focus_back = false;
        owner->btn_connect->setFocus(Qt::OtherFocusReason);
    }
}

void QVyr_connector::Private::update_enabled()
{
    const bool idle = exchanges == 0;
    owner->btn_connect->setEnabled(idle);
    const bool enable = idle && !owner->btn_connect->isChecked();
    owner->rdb_ethernet->setEnabled(enable);
    owner->rdb_serial->setEnabled(enable);
    owner->cmb_device->setEnabled(enable);
    owner->cmb_device_num->setEnabled(enable);
}

void QVyr_connector::Private::check_link()
{
    // An open or close under way answers for itself; the flag is read atomically, so asking
    // here does not race the worker.
    if (exchanges != 0 || !owner->btn_connect->isChecked() || !owner->vyr_driver.link_lost()) {
        return;
    }
    const QString status = QVyr_connector::tr("Connection lost: %1")
                               .arg(QString::fromLatin1(owner->vyr_driver.link_lost_text()));
    const QString caption = QVyr_connector::tr("Connect");
    exchange_started();
    driver_owner->post(
        owner, [](kvt::Lidar& driver) { driver.close(); },
        [this, status, caption] {
            owner->btn_connect->setChecked(false);
            owner->btn_connect->setText(caption);
            emit owner->report_connect_status(false, status);
            exchange_ended();
        });
}

QVyr_connector::QVyr_connector(QWidget* parent)
    : QMainWindow(parent), d(std::make_unique<Private>(this))
{
    setupUi(this);
    d->load_settings();
    connect(d->driver_owner.get(), &Driver_owner::busy_changed, this, [this](bool busy) {
        if (!busy) {
            d->check_link();
        }
    });
}

QVyr_connector::~QVyr_connector()
{
    d->save_settings(d->settings);
    d->settings.sync();
    if (d->settings.status() != QSettings::NoError || d->settings.fileName().isEmpty()) {
        // No window is left to show it in.
        qWarning("%s: %s", connection_settings_file,
                 qUtf8Printable(
                     tr("the settings could not be saved: %1").arg(settings_write_failure())));
    }
    // An exchange under way gets the time one may take; a sensor that never answers is
    // then cut short, so that the owner's thread ends before the driver goes.
    if (!d->driver_owner->wait_idle(2000)) {
        vyr_driver.request_abort();
    }
    d.reset();
}

QString QVyr_connector::save_settings()
{
    const QString name = usable_settings_file();
    QString reason;
    if (name.isEmpty()) {
        reason = settings_write_failure();
    } else {
        // A settings object of its own: QSettings keeps the first error it met for good,
        // which would tell nothing of this write.
        QSettings now(name, QSettings::IniFormat);
        d->save_settings(now);
        now.sync();
        if (now.status() != QSettings::NoError) {
            reason = settings_write_failure();
        }
    }
    if (!reason.isEmpty()) {
        emit settings_not_saved(reason);
    }
    return reason;
}

kvt::Vyr_driver& QVyr_connector::driver()
{
    return vyr_driver;
}

void QVyr_connector::disconnect_sensor()
{
    on_btn_connect_clicked(false);
}

void QVyr_connector::set_ip_address(QString ip_address)
{
    d->ip_address = decimal_address(ip_address);
    d->switch_mode(rdb_ethernet->isChecked(), false);
}

void QVyr_connector::use_target(bool ethernet, QString target, int number)
{
    // The mode left keeps what was typed in it; the fields are then filled anew.
    (ethernet ? rdb_ethernet : rdb_serial)->setChecked(true);
    if (ethernet) {
        d->ip_address = decimal_address(target);
        d->port_num = number;
    } else {
        d->device_name = target;
        const int rate = d->baudrate_list.indexOf(QString::number(number));
        if (rate >= 0) {
            d->baudrate_index = rate;
        }
    }
    d->switch_mode(ethernet, false);
    if (!ethernet && cmb_device->currentText() != target) {
        // A port the list does not show (a path, a pseudo-terminal) is still the one chosen.
        cmb_device->addItem(target);
        cmb_device->setCurrentIndex(cmb_device->count() - 1);
    }
}

void QVyr_connector::check_link()
{
    d->check_link();
}

void QVyr_connector::on_btn_connect_clicked(bool checked)
{
    btn_connect->setChecked(checked);

    if (checked) {
        const QString head = tr("Connect") + " : ";
        emit report_connect_status(false, head);

        const int number = cmb_device_num->currentText().toInt();
        const bool ethernet = rdb_ethernet->isChecked();
        if (ethernet) {
            // Show the address exactly as the transport reads it, the one connected to.
            const QString address = decimal_address(cmb_device->currentText());
            if (address != cmb_device->currentText()) {
                cmb_device->setEditText(address);
            }
        }
        const std::string target = cmb_device->currentText().toLatin1().toStdString();
        // The texts of the moment the user asked, whatever language comes meanwhile.
        const QString success = head + tr("Success");
        const QString fail = head + tr("Fail");
        const QString caption = tr("Disconnect");
        d->exchange_started();
        d->driver_owner->post(
            this,
            [target, number, ethernet](kvt::Lidar& driver) {
                // A stop the sensor did not confirm may have left the driver refusing to wait.
                driver.clear_abort();
                Open_result result;
                if (ethernet) {
                    result.opened = driver.open(target.c_str(), number, kvt::Lidar::Ethernet);
                } else {
                    (void)driver.open(target.c_str(), number, kvt::Lidar::Serial);
                    result.opened = driver.is_open();
                }
                if (!result.opened) {
                    result.reason = failure_reason(driver, target, ethernet);
                }
                return result;
            },
            [this, success, fail, caption](const Open_result& result) {
                const bool opened = result.opened;
                btn_connect->setChecked(opened);
                if (opened) {
                    btn_connect->setText(caption);
                    emit report_connect_status(true, success);
                    // A connection that worked is worth keeping now, and a file that cannot
                    // take it is better known while the window is there to say so.
                    save_settings();
                } else {
                    emit report_connect_status(false, fail);
                    emit connect_failed(result.reason);
                }
                d->exchange_ended();
            });
    } else {
        const QString head = tr("Disconnect") + " : ";
        emit report_connect_status(false, head);
        const QString success = head + tr("Success");
        const QString caption = tr("Connect");
        d->exchange_started();
        d->driver_owner->post(
            this, [](kvt::Lidar& driver) { driver.close(); },
            [this, success, caption] {
                btn_connect->setChecked(false);
                btn_connect->setText(caption);
                emit report_connect_status(false, success);
                d->exchange_ended();
            });
    }
}

void QVyr_connector::on_btn_refresh_clicked()
{
    if (rdb_serial->isChecked())
        d->rebuild_device_list();
}

void QVyr_connector::on_rdb_ethernet_toggled(bool checked)
{
    d->switch_mode(checked, !d->is_loading);
}
