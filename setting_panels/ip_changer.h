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

signals:
    void report_status(QString status);
    void ip_changed(QString ip_address);

private slots:
    void on_btn_change_ip_address_clicked();

private:
    setting_commands::Network_settings network_settings() const;
    QString make_compact_ip_command() const;
    QString make_dotted_ip_command() const;

    struct Private;
    std::unique_ptr<Private> d;
};

#endif
