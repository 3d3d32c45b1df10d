// Replies to the phase panel's raw commands: the command link's judgement of
// the status line and the panel's reading of the data line after it.
#include "fed_sensor.h"
#include "phase_actions.h"
#include "phase_setter.h"
#include "vyr_driver.h"

#include <QApplication>

namespace {

struct Panel_host
{
    kvt::Vyr_driver driver;
    QVyr_phase_setter panel{driver};
};

Panel_host* host = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The fuzzer's own flags are not for Qt.
    static int qt_argc = 1;
    static char* qt_argv[] = {(*argv)[0], nullptr};
    static QApplication app(qt_argc, qt_argv);
    host = new Panel_host;
    open_reply();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    kvt::Vyr_driver& driver = host->driver;
    open_after_reply(
        replies_per_line(rest(data, size)),
        [&driver] { return driver.open("127.0.0.1", feed().port(), kvt::Lidar::Ethernet); },
        [&driver] { driver.close(); });
    run_phase_action(host->panel, data[0]);
    host->driver.close();
    end_input();
    return 0;
}
