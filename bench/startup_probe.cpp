// Preloaded into the release binary by vyr_startup_time; the program itself is
// unchanged. It takes the place of the event loop, runs events until the main
// window has been painted once, reports the moment and the resident memory, and
// returns so that the program ends as it would on quit.

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

class First_paint : public QObject
{
public:
    bool painted = false;
    long long at_ns = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!painted && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            at_ns = now.tv_sec * 1000000000LL + now.tv_nsec;
            painted = true;
        }
        return false;
    }
};

long resident_kb()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kb = std::atol(line + 6);
        }
    }
    if (status) {
        std::fclose(status);
    }
    return kb;
}

} // namespace

int QApplication::exec()
{
    First_paint watch;
    qApp->installEventFilter(&watch);
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted && limit.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    qApp->removeEventFilter(&watch);
    const char* report = std::getenv("VYR_STARTUP_REPORT");
    if (std::FILE* out = report ? std::fopen(report, "w") : nullptr) {
        std::fprintf(out, "%lld %ld\n", watch.painted ? watch.at_ns : -1LL, resident_kb());
        std::fclose(out);
    }
    return 0;
}
