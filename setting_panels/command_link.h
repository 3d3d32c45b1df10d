#ifndef VYR_SETTING_PANELS_COMMAND_LINK_H
#define VYR_SETTING_PANELS_COMMAND_LINK_H

#include <QString>

namespace kvt {
class Lidar;
}

// Sends one raw maintenance command through the shared driver and judges the
// reply by its status line (the line after the echo).
class Command_link
{
public:
    // The driver is borrowed and must outlive the link.
    explicit Command_link(kvt::Lidar& driver);
    ~Command_link();

    // True when the driver reports every byte of the command written.
    bool send_command(const QString& command);
    // Collects reply lines, each followed by LF, until an empty line; true when that
    // came within time_out_ms and the second line equals expected_status exactly.
    bool receive_response(QString& response, const QString& expected_status, int time_out_ms);

private:
    Command_link(const Command_link&) = delete;
    Command_link& operator=(const Command_link&) = delete;

    struct Private;
    Private* d;
};

#endif
