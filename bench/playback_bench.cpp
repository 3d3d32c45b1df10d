// Playing a recording back in the live scan view on the offscreen platform: a recording of
// full multi-echo scans with intensities, taken from the in-process simulated sensor
// (loopback), played "as fast as possible". Beside it its floor, the reader alone reading
// every scan in turn on one thread. Medians of five runs.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "live_scan_window.h"
#include "polar_view.h"
#include "scan_playback.h"
#include "scan_recording.h"
#include "simulator.h"
#include "vyr_driver.h"

namespace {

double thread_cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Records `count` scans as the live view would, and the file's size.
bool record(const std::string& path, long count, long long& bytes)
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    sim.set_pacing(vyr_sim::Pacing::fast);
    if (!sim.start_tcp(0) || !driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet))
        return false;
    const auto type = kvt::Lidar::Multi_echo_intensity;
    kvt::Recording_writer writer;
    if (!writer.open(path, kvt::recording_header_for(driver, type, driver.min_step(),
                                                     driver.max_step(), 1)) ||
        !driver.start_scans(type, 0, 0))
        return false;
    kvt::Scan_record scan;
    for (long n = 0; n < count; ++n) {
        if (!kvt::read_scan_record(driver, type, scan))
            return false;
        scan.number = n;
        if (!writer.write(scan))
            return false;
    }
    driver.stop_scans();
    const bool closed = writer.close();
    bytes = writer.bytes_written();
    return closed;
}

double reader_rate(const std::string& path)
{
    kvt::Recording_reader reader;
    if (!reader.open(path))
        return 0;
    kvt::Scan_record scan;
    QElapsedTimer clock;
    clock.start();
    for (long i = 0; i < reader.scan_count(); ++i)
        if (!reader.read(i, scan))
            return 0;
    return reader.scan_count() * 1e9 / clock.nsecsElapsed();
}

struct Played
{
    double rate = 0;      // scans/s
    double gui_share = 0; // of the wall time
    double frames = 0;    // scans shown per second
};

Played play(Live_scan_window& window, const QString& path)
{
    Played played;
    if (!window.open_recording(path))
        return played;
    Scan_playback& player = *window.playback();
    auto* speed = window.findChild<QComboBox*>("cmb_speed");
    speed->setCurrentIndex(speed->findData(0.0));
    (void)QTest::qWaitFor([&] { return player.position() == 0; }, 5000);
    long shown = 0;
    long last = player.position();
    const QMetaObject::Connection counter =
        QObject::connect(&player, &Scan_playback::scan_waiting, &window, [&] { ++shown; });
    const double cpu_before = thread_cpu_ms();
    QElapsedTimer wall;
    wall.start();
    window.findChild<QPushButton*>("btn_play")->click();
    QEventLoop until_the_end;
    QObject::connect(&player, &Scan_playback::playing_changed, &until_the_end, &QEventLoop::quit);
    if (player.playing())
        until_the_end.exec();
    const double elapsed_ms = wall.nsecsElapsed() / 1e6;
    QObject::disconnect(counter);
    if (player.position() != player.count() - 1 || last != 0)
        return played;
    played.rate = (player.count() - 1) * 1000.0 / elapsed_ms;
    played.gui_share = (thread_cpu_ms() - cpu_before) / elapsed_ms;
    played.frames = shown * 1000.0 / elapsed_ms;
    window.close_recording();
    return played;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const long count = argc > 1 ? std::max(100L, std::atol(argv[1])) : 2000;
    QTemporaryDir folder;
    const QString path = folder.filePath("bench.ndjson");
    long long bytes = 0;
    if (!record(path.toStdString(), count, bytes)) {
        std::printf("playback: could not record %ld scans\n", count);
        return 1;
    }
    kvt::Vyr_driver driver; // never opened: playing back needs no sensor
    Live_scan_window window(driver);
    window.resize(720, 640);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);

    std::vector<double> floor, rate, share, frames;
    for (int run = 0; run < 5; ++run) {
        floor.push_back(reader_rate(path.toStdString()));
        const Played played = play(window, path);
        rate.push_back(played.rate);
        share.push_back(played.gui_share * 100);
        frames.push_back(played.frames);
    }
    std::printf("\n### Playback (offscreen)\n\n| measurement | result | floor beside it |\n"
                "|---|---:|---:|\n");
    std::printf("| play \"as fast as possible\": %ld full multi-echo + intensity scans "
                "(%.1f MB) | %.0f scans/s, GUI thread busy %.1f %% of the time, %.0f scans "
                "shown/s | reader alone: %.0f scans/s |\n",
                count, bytes / 1e6, median(rate), median(share), median(frames), median(floor));
    return 0;
}
