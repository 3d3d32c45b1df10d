#include "command_link.h"

#include <QByteArray>

#include "setting_commands.h"

Command_link::Command_link(kvt::Lidar& driver)
    : link_(std::make_unique<setting_commands::Maintenance_link>(driver))
{
}

Command_link::~Command_link() = default;

bool Command_link::send_command(const QString& command)
{
    const QByteArray bytes = command.toLatin1();
    return link_->send(std::string(bytes.constData(), size_t(bytes.size())));
}

bool Command_link::receive_response(QString& response, const QString& expected_status,
                                    int time_out_ms)
{
    std::string text;
    const bool accepted =
        link_->receive(text, expected_status.toLatin1().toStdString(), time_out_ms);
    response = QString::fromLatin1(text.data(), qsizetype(text.size()));
    return accepted;
}

setting_commands::Maintenance_link& Command_link::commands()
{
    return *link_;
}
