#include "command_link.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include "lidar.h"

struct Command_link::Private
{
    Private(Command_link* owner, kvt::Lidar& driver) : owner(owner), driver(driver) {}

    Command_link* owner;
    kvt::Lidar& driver;
    QMutex mutex;
};

namespace {

const int line_buffer_size = 100;
// The time-out alone would let a device that floods lines fill memory for a
// whole second; real replies have a dozen lines.
const int max_reply_lines = 256;

} // namespace

Command_link::Command_link(kvt::Lidar& driver) : d(new Private(this, driver)) {}

Command_link::~Command_link()
{
    delete d;
}

bool Command_link::send_command(const QString& command)
{
    QMutexLocker lock(&d->mutex);
    const QByteArray bytes = command.toLatin1();
    const int written = d->driver.raw_write(bytes.constData(), int(command.length()));
    return written == command.length();
}

bool Command_link::receive_response(QString& response, const QString& expected_status,
                                    int time_out_ms)
{
    QElapsedTimer stopwatch;
    stopwatch.start();
    response.clear();

    for (int lines = 0;; ++lines) {
        if (lines == max_reply_lines) {
            return false;
        }
        char buffer[line_buffer_size];
        int length = 0;
        {
            QMutexLocker lock(&d->mutex);
            buffer[0] = '\0';
            // Every read gets the whole time-out, not what is left of it.
            d->driver.raw_readline(buffer, line_buffer_size, time_out_ms);
            // Bounded, so a driver that forgot the NUL cannot make us read past the buffer.
            length = int(qstrnlen(buffer, line_buffer_size));
            response += QString::fromLatin1(buffer, length);
            response += QLatin1Char('\n');
        }
        if (stopwatch.elapsed() > time_out_ms) {
            return false;
        }
        if (length == 0) {
            break;
        }
    }

    const QStringList lines = response.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    return lines.size() > 1 && lines.at(1) == expected_status;
}
