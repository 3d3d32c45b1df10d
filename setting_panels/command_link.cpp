#include "command_link.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include "setting_commands.h"

struct Command_link::Private : setting_commands::Maintenance_link
{
    using Maintenance_link::Maintenance_link;

    bool send(const std::string& command) override
    {
        QMutexLocker lock(&mutex);
        return Maintenance_link::send(command);
    }
    bool receive(std::string& response, const std::string& expected_status,
                 int time_out_ms) override
    {
        QMutexLocker lock(&mutex);
        return Maintenance_link::receive(response, expected_status, time_out_ms);
    }

    QMutex mutex;
};

Command_link::Command_link(kvt::Lidar& driver) : d(std::make_unique<Private>(driver)) {}

Command_link::~Command_link() = default;

bool Command_link::send_command(const QString& command)
{
    const QByteArray bytes = command.toLatin1();
    return d->send(std::string(bytes.constData(), size_t(bytes.size())));
}

bool Command_link::receive_response(QString& response, const QString& expected_status,
                                    int time_out_ms)
{
    std::string text;
    const bool accepted = d->receive(text, expected_status.toLatin1().toStdString(), time_out_ms);
    response = QString::fromLatin1(text.data(), qsizetype(text.size()));
    return accepted;
}

setting_commands::Maintenance_link& Command_link::commands()
{
    return *d;
}
