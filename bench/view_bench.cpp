// The live scan view on the offscreen platform against the in-process simulated
// sensor (loopback): paint time of one full multi-echo scan with intensities in the
// polar and the x/y picture, with and without a ruler laid, the GUI thread's busy share at 40 scans/s, and resident memory over a minute
// of unthrottled scans.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "live_scan_window.h"
#include "polar_view.h"
#include "scan_csv.h"
#include "simulator.h"
#include "vyr_driver.h"

namespace {

double thread_cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double resident_mb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * values.size()))];
}

struct Connected
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    bool open()
    {
        return sim.start_tcp(0) && driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet);
    }
};

void start_multiecho_intensity(Live_scan_window& window)
{
    window.set_available(true);
    auto* kind = window.findChild<QComboBox*>("cmb_kind");
    kind->setCurrentIndex(kind->findData(kvt::Lidar::Multi_echo_intensity));
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    window.start();
}

// Shift+drag between two of the scan's points, as a user lays a ruler.
void lay_ruler(Polar_view& view, int from_index, int to_index)
{
    const QPointF ends[] = {view.screen_point(from_index, 0), view.screen_point(to_index, 0)};
    const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseMove,
                                  QEvent::MouseButtonRelease};
    for (int i = 0; i < 3; ++i) {
        const QPointF at = ends[i == 0 ? 0 : 1];
        QMouseEvent event(types[i], at, view.mapToGlobal(at), Qt::LeftButton,
                          i == 2 ? Qt::NoButton : Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&view, &event);
    }
}

void paint_time()
{
    Connected sensor;
    kvt::Scan_record scan;
    if (!sensor.open() || !sensor.driver.start_scans(kvt::Lidar::Multi_echo_intensity, 1, 0) ||
        !kvt::read_scan_record(sensor.driver, kvt::Lidar::Multi_echo_intensity, scan)) {
        std::printf("paint: could not read a scan: %s\n", sensor.driver.last_error_text());
        return;
    }
    const int steps = scan.size();
    int points = 0;
    for (long d : scan.distance)
        points += d > 0;
    Polar_view view;
    view.resize(720, 560);
    view.set_area(sensor.driver.step_to_deg(sensor.driver.min_step()),
                  sensor.driver.step_to_deg(sensor.driver.max_step()),
                  sensor.driver.min_distance(), sensor.driver.max_distance());
    view.show_scan(scan);
    view.show();
    (void)QTest::qWaitForWindowExposed(&view);
    for (const bool ruler : {false, true}) {
        for (const bool xy : {false, true}) {
            view.set_cartesian(xy);
            view.clear_ruler();
            if (ruler) {
                lay_ruler(view, steps / 4, steps * 3 / 4);
                if (!view.ruler().shown()) {
                    std::printf("paint: the ruler could not be laid\n");
                    return;
                }
            }
            std::vector<double> ms;
            for (int i = 0; i < 300; ++i) {
                QElapsedTimer clock;
                clock.start();
                view.repaint();
                ms.push_back(clock.nsecsElapsed() / 1e6);
            }
            std::printf("| paint one full multi-echo + intensity scan (%d steps, %d points, "
                        "720x560), %s%s | median %.2f ms, p95 %.2f ms | <= 4 ms |\n",
                        steps, points, xy ? "x/y" : "polar", ruler ? ", ruler laid" : "",
                        percentile(ms, 0.5), percentile(ms, 0.95));
        }
    }
}

void gui_share()
{
    Connected sensor;
    sensor.sim.set_scans_per_minute(2400);
    if (!sensor.open())
        return;
    Live_scan_window window(sensor.driver);
    start_multiecho_intensity(window);
    QTest::qWait(1000);
    const long first = window.view()->scan().number;
    const double cpu_before = thread_cpu_ms();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(10000);
    const double busy = (thread_cpu_ms() - cpu_before) / wall.elapsed();
    const long shown = window.view()->scan().number - first;
    window.stop();
    std::printf("| GUI thread busy at 40 scans/s, multi-echo + intensity (10 s, %.1f scans/s "
                "shown) | %.1f %% | < 25 %% |\n",
                shown * 1000.0 / wall.elapsed(), busy * 100);
}

void memory(int seconds)
{
    Connected sensor;
    sensor.sim.set_pacing(vyr_sim::Pacing::fast);
    if (!sensor.open())
        return;
    Live_scan_window window(sensor.driver);
    start_multiecho_intensity(window);
    QTest::qWait(5000);
    const double at_5 = resident_mb();
    QTest::qWait((seconds - 5) * 1000);
    const double at_end = resident_mb();
    const long shown = window.view()->scan().number;
    window.stop();
    std::printf("| resident memory, unthrottled multi-echo + intensity (%ld scans in %d s) | "
                "%.1f MB at 5 s, %.1f MB at %d s: %+.2f MB | within 2 MB |\n",
                shown + 1, seconds, at_5, at_end, seconds, at_end - at_5);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(6, std::atoi(argv[1])) : 60;
    std::printf("\n### Live scan view (offscreen)\n\n| measurement | result | goal |\n|---|---:|---|\n");
    std::fflush(stdout);
    paint_time();
    std::fflush(stdout);
    gui_share();
    std::fflush(stdout);
    memory(seconds);
    return 0;
}
