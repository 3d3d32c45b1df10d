#include "panel_test_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Scoped_working_directory::Scoped_working_directory() : previous(QDir::currentPath())
{
    QDir::setCurrent(folder.path());
}

Scoped_working_directory::~Scoped_working_directory()
{
    QDir::setCurrent(previous);
}

bool write_settings_file(const QStringList& lines)
{
    QFile file("conncet_setting.ini");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(("[General]\n" + lines.join('\n') + '\n').toLatin1()) > 0;
}

QString settings_value(const QString& key)
{
    const QSettings settings("conncet_setting.ini", QSettings::IniFormat);
    const QVariant value = settings.value(key);
    return value.isValid() ? value.toString() : QString();
}

int closed_loopback_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof(address);
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QList<QPair<bool, QString>> reports(const QSignalSpy& spy)
{
    QList<QPair<bool, QString>> seen;
    for (const QVariantList& arguments : spy)
        seen.append({arguments.at(0).toBool(), arguments.at(1).toString()});
    return seen;
}
