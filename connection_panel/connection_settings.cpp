#include "connection_settings.h"

#include <QFileInfo>

#include <QVariant>

QString usable_settings_file()
{
    const qint64 largest = 1 << 20; // a real file holds five short keys
    const QFileInfo entry(connection_settings_file);
    if (!entry.exists() || (entry.isFile() && entry.size() <= largest)) {
        return connection_settings_file;
    }
    return QString();
}

namespace {

// Anything but a port number reads as 0, which no connect takes: a value cut to 32 bits
// (2^32 + P became P) would show and reach some other port.
int port_number_from(const QVariant& value)
{
    bool is_number = false;
    const qlonglong number = value.toString().toLongLong(&is_number);
    return is_number && number >= 1 && number <= 65535 ? static_cast<int>(number) : 0;
}

} // namespace

Connection_values read_connection_settings(const QSettings& settings)
{
    Connection_values values;
    values.ip_address = settings.value("ip_address", "192.168.0.10").toString();
    values.port_num = port_number_from(settings.value("port_num", 10940));
    values.device_name = settings.value("device_name", "COM3").toString();
    values.baudrate_index = settings.value("baudrate_index", 0).toInt();
    values.is_ethernet = settings.value("is_ethernet", true).toBool();
    return values;
}

void write_ethernet_settings(QSettings& settings, const QString& ip_text, const QString& port_text,
                             int remembered_baudrate_index, const QString& remembered_device)
{
    settings.setValue("is_ethernet", true);
    settings.setValue("ip_address", ip_text);
    settings.setValue("port_num", port_text);
    settings.setValue("baudrate_index", remembered_baudrate_index);
    settings.setValue("device_name", remembered_device);
}

void write_serial_settings(QSettings& settings, const QString& device_text, int baudrate_index,
                           const QString& remembered_ip, int remembered_port)
{
    settings.setValue("is_ethernet", false);
    settings.setValue("device_name", device_text);
    settings.setValue("baudrate_index", baudrate_index);
    settings.setValue("ip_address", remembered_ip);
    settings.setValue("port_num", remembered_port);
}
