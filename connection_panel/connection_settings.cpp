#include "connection_settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QVariant>

#include "ipv4_text.h"

QString usable_settings_file()
{
    const qint64 largest = 1 << 20; // a real file holds five short keys
    const QFileInfo entry(connection_settings_file);
    if (!entry.exists() || (entry.isFile() && entry.size() <= largest)) {
        return connection_settings_file;
    }
    return QString();
}

QString settings_write_failure()
{
    const QFileInfo entry(connection_settings_file);
    if (entry.exists() && entry.isDir()) {
        return QCoreApplication::translate("QVyr_connector", "a folder is in its place");
    }
    if (entry.exists() && !entry.isFile()) {
        return QCoreApplication::translate("QVyr_connector", "it is not a regular file");
    }
    if (usable_settings_file().isEmpty()) {
        return QCoreApplication::translate("QVyr_connector", "it is too large");
    }
    // Write beside the file as QSettings does, without ever putting the trial in its place:
    // the system then names what stopped it (permissions, a full disk).
    QSaveFile trial(connection_settings_file);
    if (!trial.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return trial.errorString();
    }
    // A write the system cut short says why only when asked for the rest.
    const QByteArray filler(4096, ' ');
    for (qint64 done = 0; done < filler.size();) {
        const qint64 written = trial.write(filler.constData() + done, filler.size() - done);
        if (written <= 0) {
            const QString reason = trial.errorString();
            trial.cancelWriting();
            return reason;
        }
        done += written;
    }
    trial.cancelWriting();
    return QCoreApplication::translate("QVyr_connector", "the file could not be written");
}

QString decimal_address(const QString& text)
{
    uint8_t octets[4];
    const QByteArray bytes = text.toLatin1();
    if (text.size() > 15 || ipv4_from_text(bytes.constData(), octets) != 0) {
        return text;
    }
    return QString("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
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
