#ifndef VYR_SETTING_PANELS_IP_CHANGER_H
#define VYR_SETTING_PANELS_IP_CHANGER_H

#include <QMainWindow>
#include <QString>

#include <memory>

#include "setting_commands.h"
#include "ui_ip_changer.h"

namespace kvt {
class Vyr_driver;
}

// Sets the sensor's IP address, subnet mask and default gateway, then reboots it.
class QVyr_ip_changer : public QMainWindow, private Ui::QVyr_ip_changer
{
    Q_OBJECT

public:
    // The driver is borrowed from the connection panel and must outlive the panel.
    explicit QVyr_ip_changer(kvt::Vyr_driver& driver, QWidget* parent = nullptr);
    ~QVyr_ip_changer() override;

    // How long the check after a change waits for the sensor at its new address.
    void set_verification_wait_ms(int wait_ms);

signals:
    void report_status(QString status);
    void ip_changed(QString ip_address);
    // Why the values were not sent: they could not work.
    void refused(QString reason);
    // Whether the sensor answers at its new address, after a change; or what to do first.
    void verified(QString text);

private slots:
    void on_btn_change_ip_address_clicked();

private:
    setting_commands::Network_settings network_settings() const;
    QString make_compact_ip_command() const;
    QString make_dotted_ip_command() const;
    void verify_in_background(const setting_commands::Network_settings& settings, int port,
                              bool simulated);

    struct Private;
    std::unique_ptr<Private> d;
};

#endif
