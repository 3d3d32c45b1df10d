#ifndef VYR_QVYR_CONNECTOR_H
#define VYR_QVYR_CONNECTOR_H

#include <QMainWindow>
#include <QString>

#include <memory>

#include "ui_qvyr_connector.h"
#include "vyr_driver.h"

// Connects the one sensor over Ethernet or a serial port and lends its driver to the
// setting panels; opens and closes run on the driver's owner and answer later. The last
// connection of each mode is kept in the settings file.
class QVyr_connector : public QMainWindow, public Ui::QVyr_connector
{
    Q_OBJECT

public:
    explicit QVyr_connector(QWidget* parent = nullptr);
    ~QVyr_connector() override;

    kvt::Vyr_driver& driver();
    void disconnect_sensor();
    void set_ip_address(QString ip_address);
    // Writes the settings file now; empty when it was written, else why not (the old file
    // is then left as it was).
    QString save_settings();
    // Puts a found sensor in the fields (Ethernet: address and port; serial: device and
    // rate) and switches the mode to it; nothing is connected.
    void use_target(bool ethernet, QString target, int number);
    // Closes a connection whose link a user of the driver found gone and reports it lost;
    // run by itself after every job of the driver's owner. Does nothing otherwise.
    void check_link();

signals:
    void report_connect_status(bool is_connect, QString status);
    // The settings file could not be written; reason says why.
    void settings_not_saved(QString reason);
    // A connect failed; reason says why in words a user can act on (plain text).
    void connect_failed(QString reason);

private slots:
    void on_btn_connect_clicked(bool checked);
    void on_btn_refresh_clicked();
    void on_rdb_ethernet_toggled(bool checked);

private:
    struct Private;
    kvt::Vyr_driver vyr_driver;
    std::unique_ptr<Private> d;
};

#endif
