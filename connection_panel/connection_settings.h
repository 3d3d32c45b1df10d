#ifndef VYR_CONNECTION_SETTINGS_H
#define VYR_CONNECTION_SETTINGS_H

#include <QSettings>
#include <QString>

// The file keeps its historical spelling: earlier runs left files under this name.
inline constexpr const char* connection_settings_file = "conncet_setting.ini";

// The last connection of each mode, as carried between runs.
struct Connection_values
{
    bool is_ethernet = true;
    QString ip_address;
    int port_num = 0;
    QString device_name;
    int baudrate_index = 0;
};

// The file name to give QSettings: the settings file, or an empty name (defaults, nothing
// written) when the entry there is no regular file or far too big to be ours, so that a
// pipe or a device in its place cannot block or flood the start.
QString usable_settings_file();

// Why the settings file could not be written, after QSettings failed to (or was given no
// name): the system's reason where there is one. Nothing of the file is changed.
QString settings_write_failure();

// A dotted IPv4 address in the one decimal form the transport connects to ("127.0.0.010"
// becomes "127.0.0.10"); any other text comes back as it is.
QString decimal_address(const QString& text);

// Every missing key gives its default; text that is not a number reads as 0, and so does
// a port number outside 1..65535.
Connection_values read_connection_settings(const QSettings& settings);

// The mode on screen is written from its two fields (the port as typed), the other mode
// from the remembered values.
void write_ethernet_settings(QSettings& settings, const QString& ip_text, const QString& port_text,
                             int remembered_baudrate_index, const QString& remembered_device);
void write_serial_settings(QSettings& settings, const QString& device_text, int baudrate_index,
                           const QString& remembered_ip, int remembered_port);

#endif
