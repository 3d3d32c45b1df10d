#ifndef VYR_SETTING_PANELS_COMMAND_LINK_H
#define VYR_SETTING_PANELS_COMMAND_LINK_H

#include <QString>

#include <memory>

namespace kvt {
class Lidar;
}

namespace setting_commands {
class Maintenance_link;
}

// Sends one raw maintenance command through the driver and judges the reply by its status
// line (the line after the echo). Used only on the thread that owns the driver.
class Command_link
{
public:
    // The driver is borrowed and must outlive the link.
    explicit Command_link(kvt::Lidar& driver);
    ~Command_link();
    Command_link(const Command_link&) = delete;
    Command_link& operator=(const Command_link&) = delete;

    // True when the driver reports every byte of the command written.
    bool send_command(const QString& command);
    // Collects the reply to the last command sent, each line followed by LF, until its
    // empty line; true when that came within time_out_ms and the second line equals
    // expected_status exactly.
    bool receive_response(QString& response, const QString& expected_status, int time_out_ms);

    // The same link for the shared setting operations.
    setting_commands::Maintenance_link& commands();

private:
    std::unique_ptr<setting_commands::Maintenance_link> link_;
};

#endif
