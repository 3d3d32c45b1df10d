#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <sys/stat.h>

#include "driver_owner.h"
#include "file_size_limit.h"
#include "live_scan_window.h"
#include "cartesian_grid.h"
#include "polar_view.h"
#include "recording_fixture.h"
#include "scan_playback.h"
#include "scan_recorder.h"
#include "sensor_session.h"

namespace {

// The simulated sensor's default parameters: steps 44 to 725, front 384.
constexpr int first_absolute = 44, last_absolute = 725, front = 384;

// Three decimals as the C library rounds them.
QString three_decimals(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// What the CSV must hold for scan `scan` of the simulated sensor, without the time
// stamp column, which the sensor's clock decides.
QStringList expected_rows(const kvt::Lidar& lidar, kvt::Lidar::measurement_type type, int scan)
{
    const bool multi = kvt::is_multiecho(type), intensity = kvt::has_intensity(type);
    QStringList rows;
    for (int absolute = first_absolute; absolute <= last_absolute; ++absolute) {
        const int echoes = multi ? vyr_sim::sim_echo_count(absolute, scan) : 1;
        const int step = absolute - front;
        for (int echo = 0; echo < echoes; ++echo) {
            rows << QString("%1,%2,%3,%4,%5,%6,%7")
                        .arg(scan)
                        .arg(absolute - first_absolute)
                        .arg(step)
                        .arg(three_decimals(lidar.step_to_deg(step)))
                        .arg(echo)
                        .arg(vyr_sim::sim_distance(absolute, scan, echo))
                        .arg(intensity ? QString::number(vyr_sim::sim_intensity(absolute, scan, echo))
                                       : QString());
        }
    }
    return rows;
}

// A shown live window on a driver connected to the simulated sensor.
struct Live_rig
{
    Sensor_session session;
    Live_scan_window window{session.driver};

    // Starts a measurement of this kind, recorded into a file when one is given.
    bool start(kvt::Lidar::measurement_type type, const QString& recording = QString())
    {
        if (!session.connect())
            return false;
        window.set_available(true);
        auto* kind = window.findChild<QComboBox*>("cmb_kind");
        kind->setCurrentIndex(kind->findData(type));
        window.show();
        if (recording.isEmpty())
            window.start();
        else if (!window.record_to(recording))
            return false;
        return window.is_running();
    }
    bool wait_for_scan()
    {
        return QTest::qWaitFor([this] { return window.view()->scan().size() > 0; }, 5000);
    }
    // Asks for the stop, which returns at once, and waits for the measurement's end.
    bool stop()
    {
        window.stop();
        return QTest::qWaitFor([this] { return !window.is_running(); }, 5000);
    }
    QString status() const { return window.findChild<QLabel*>("lbl_status")->text(); }
    QString recording_status() const
    {
        return window.findChild<QLabel*>("lbl_recording")->text();
    }
    QPushButton* button(const char* name) const { return window.findChild<QPushButton*>(name); }
    long position() const { return window.playback()->position(); }
    // Without qWaitFor's pauses: a played scan comes within a millisecond.
    bool wait_for_position(long index)
    {
        QDeadlineTimer deadline(3000);
        QTimer wake; // in case nothing else comes
        wake.start(20);
        while (position() != index && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return position() == index;
    }
};


// A bare view over a made-up scan of a few points, each (angle in degrees, distance in mm).
struct Made_up_view
{
    Polar_view view;
    QStringList hover; // what the hover line was told, in order

    explicit Made_up_view(std::initializer_list<std::pair<double, long>> points)
    {
        kvt::Scan_record scan;
        for (const auto& [degrees, distance] : points) {
            scan.step.push_back(int(scan.step.size()));
            scan.angle_deg.push_back(degrees);
            scan.distance.push_back(distance);
        }
        view.resize(560, 480);
        view.set_area(-135, 135, 20, 5000);
        view.show_scan(scan);
        QObject::connect(&view, &Polar_view::hover_changed,
                         [this](const QString& text) { hover << text; });
    }
    void mouse(QEvent::Type type, Qt::MouseButton button, QPointF at,
               Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        QMouseEvent event(type, at, view.mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : button, keys);
        QCoreApplication::sendEvent(&view, &event);
    }
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers keys)
    {
        mouse(QEvent::MouseButtonPress, Qt::LeftButton, from, keys);
        mouse(QEvent::MouseMove, Qt::NoButton, (from + to) / 2, keys);
        mouse(QEvent::MouseMove, Qt::NoButton, to, keys);
        mouse(QEvent::MouseButtonRelease, Qt::LeftButton, to, keys);
    }
};
} // namespace

class Live_scan_window_test : public QObject
{
    Q_OBJECT

private slots:
    void saved_scan_equals_what_the_sensor_sent()
    {
        QFETCH(int, type);
        Live_rig rig;
        const auto kind = static_cast<kvt::Lidar::measurement_type>(type);
        QVERIFY(rig.start(kind));
        QVERIFY(rig.wait_for_scan());
        QVERIFY(rig.stop());

        QTemporaryDir folder;
        const QString path = folder.filePath("scan.csv");
        QVERIFY(rig.window.save_scan(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
        QCOMPARE(lines.takeFirst(),
                 QString("scan,timestamp_ms,index,step,angle_deg,echo,distance,intensity"));
        QCOMPARE(lines.takeLast(), QString());

        const kvt::Scan_record& shown = rig.window.view()->scan();
        QStringList rows;
        for (const QString& line : lines) {
            QStringList fields = line.split(',');
            QCOMPARE(fields.size(), 8);
            QCOMPARE(fields.takeAt(1), QString::number(shown.time_stamp));
            rows << fields.join(',');
        }
        QCOMPARE(rows, expected_rows(rig.session.driver, kind, static_cast<int>(shown.number)));
    }
    void saved_scan_equals_what_the_sensor_sent_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("distance") << int(kvt::Lidar::Range);
        QTest::newRow("distance + intensity") << int(kvt::Lidar::Range_intensity);
        QTest::newRow("multi-echo") << int(kvt::Lidar::Multi_echo);
        QTest::newRow("multi-echo + intensity") << int(kvt::Lidar::Multi_echo_intensity);
    }

    // Every scan the driver read goes into the file, however few the view shows, and
    // each plays back into the very CSV the driver's scan gives.
    void recording_plays_back_what_the_driver_read_data() { saved_scan_equals_what_the_sensor_sent_data(); }
    void recording_plays_back_what_the_driver_read()
    {
        QFETCH(int, type);
        Live_rig rig;
        // A fast sensor, for a quick test; not the fastest, whose 100 ms reply time-out a
        // busy host can miss.
        rig.session.sim.set_scans_per_minute(4000);
        std::mutex mutex;
        std::vector<std::string> read; // CSV rows of each scan as the driver filled it
        rig.window.recorder().set_tap([&](const kvt::Scan_record& scan) {
            std::string rows;
            kvt::append_scan_csv_rows(scan, rows);
            std::lock_guard<std::mutex> lock(mutex);
            read.push_back(rows);
        });
        QTemporaryDir folder;
        const QString path = folder.filePath("scans.ndjson");
        QVERIFY(rig.start(static_cast<kvt::Lidar::measurement_type>(type), path));
        QVERIFY(rig.button("btn_record")->isChecked());
        std::set<long> shown;
        QVERIFY(QTest::qWaitFor(
            [&] {
                shown.insert(rig.window.view()->scan().number);
                QTest::qSleep(20); // a busy view: it drops scans
                std::lock_guard<std::mutex> lock(mutex);
                return read.size() >= 200;
            },
            30000)); // 3 s on an idle host
        QVERIFY(rig.recording_status().startsWith("Recording: "));
        QVERIFY(rig.stop());
        QVERIFY(QTest::qWaitFor([&] { return rig.recording_status().startsWith("Recorded "); },
                                5000));
        const long count = static_cast<long>(read.size());
        QCOMPARE(rig.status(), QString("Stopped after %1 scans.").arg(count));
        QVERIFY2(rig.recording_status().startsWith(QString("Recorded %1 scans (").arg(count)) &&
                     rig.recording_status().endsWith(" MB) to " + path + "."),
                 qPrintable(rig.recording_status()));
        QVERIFY(!rig.button("btn_record")->isChecked());
        QVERIFY2(long(shown.size()) < count / 2, qPrintable(QString::number(shown.size())));

        QVERIFY(rig.window.open_recording(path));
        QVERIFY(!rig.button("btn_start")->isEnabled());
        // In memory when there is a place for it: each save is flushed to the disk.
        QTemporaryDir memory(QDir("/dev/shm").exists() ? "/dev/shm/played-XXXXXX" : QString());
        const QString csv = memory.filePath("played.csv");
        for (long i = 0; i < count; ++i) {
            if (i > 0)
                rig.button("btn_forward")->click();
            QVERIFY(rig.wait_for_position(i));
            QVERIFY(QString::fromStdString(read[i]).startsWith(QString::number(i) + ","));
            QVERIFY(rig.window.save_scan(csv));
            QFile file(csv);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().toStdString(),
                     std::string(kvt::scan_csv_header) + "\n" + read[i]);
        }
        rig.window.close_recording();
        QVERIFY(rig.button("btn_start")->isEnabled());
    }

    // The clock runs at the chosen speed and never ahead of it; steps and the slider go
    // exactly where they say.
    void speed_and_steps_move_the_position()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("paced.ndjson");
        QVERIFY(write_recording(path, 200, 20));
        Sensor_session session;
        Live_scan_window window(session.driver);
        window.show();
        QVERIFY(window.open_recording(path));
        const auto position = [&] { return window.playback()->position(); };
        const auto at = [&](long index) {
            return QTest::qWaitFor([&] { return position() == index; }, 3000);
        };
        QVERIFY(at(0));
        QCOMPARE(window.findChild<QLabel*>("lbl_position")->text(),
                 QString("Scan 1 of 200, 0.0 s of 4.0 s"));
        auto* back = window.findChild<QPushButton*>("btn_back");
        auto* forward = window.findChild<QPushButton*>("btn_forward");
        back->click();
        QVERIFY(at(0));
        for (int i = 0; i < 3; ++i)
            forward->click();
        QVERIFY(at(3));
        back->click();
        QVERIFY(at(2));
        QCOMPARE(window.view()->scan().distance[0], 1020L);
        window.findChild<QSlider*>("sld_position")->setValue(150);
        QVERIFY(at(150));
        QCOMPARE(window.findChild<QLabel*>("lbl_position")->text(),
                 QString("Scan 151 of 200, 3.0 s of 4.0 s"));

        auto* speed = window.findChild<QComboBox*>("cmb_speed");
        auto* play = window.findChild<QPushButton*>("btn_play");
        for (const double factor : {1.0, 4.0}) {
            window.playback()->seek(0);
            QVERIFY(at(0));
            speed->setCurrentIndex(speed->findData(factor));
            const long read_before = window.playback()->scans_read();
            QElapsedTimer clock;
            clock.start();
            play->click();
            QVERIFY(play->isChecked());
            QTest::qWait(400);
            play->click();
            const double due = clock.elapsed() * factor / 20;
            QTest::qWait(50); // the scan asked for last arrives
            QVERIFY(!play->isChecked());
            QVERIFY2(position() <= due + 1 && position() >= due / 3,
                     qPrintable(QString("%1 at %2").arg(position()).arg(due)));
            // At 4x scans come faster than frames: those passed over are never read.
            const long read = window.playback()->scans_read() - read_before;
            QVERIFY2(factor < 4 || read < position() * 2 / 3,
                     qPrintable(QString("%1 read for %2").arg(read).arg(position())));
        }
        speed->setCurrentIndex(speed->findData(0.0));
        window.playback()->seek(0);
        QVERIFY(at(0));
        QElapsedTimer clock;
        clock.start();
        play->click();
        QVERIFY(QTest::qWaitFor([&] { return !play->isChecked(); }, 3000));
        QCOMPARE(position(), 199L);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // A damaged recording is named, not played past the damage; nothing else breaks.
    void damaged_recording_is_named()
    {
        QTemporaryDir folder;
        const QString damaged = folder.filePath("damaged.ndjson");
        const QString other = folder.filePath("other.ndjson");
        QVERIFY(write_recording(damaged, 100, 20, 50));
        QFile text(other);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("hello\n") == 6);
        text.close();
        Sensor_session session;
        Live_scan_window window(session.driver);
        window.show();
        const auto status = [&] { return window.findChild<QLabel*>("lbl_status")->text(); };
        QVERIFY(!window.open_recording(other));
        QVERIFY2(status().startsWith("Could not open " + other + ": line 1 "), qPrintable(status()));
        QVERIFY(!window.is_playing_back());
        QVERIFY(window.open_recording(damaged));
        auto* speed = window.findChild<QComboBox*>("cmb_speed");
        speed->setCurrentIndex(speed->findData(0.0));
        window.findChild<QPushButton*>("btn_play")->click();
        QVERIFY(QTest::qWaitFor([&] { return status().startsWith("Could not read scan 51: "); },
                                3000));
        QVERIFY(!window.playback()->playing());
        QVERIFY(window.playback()->position() < 50);
        QVERIFY(window.playback()->position() >= 0);
        window.findChild<QSlider*>("sld_position")->setValue(60);
        QVERIFY(QTest::qWaitFor([&] { return window.playback()->position() == 60; }, 3000));
    }

    // A recording that cannot be written ends with its reason; the measurement goes on.
    void recording_write_error_leaves_the_view_running()
    {
        Live_rig rig;
        rig.session.sim.set_scans_per_minute(4000);
        QTemporaryDir folder;
        const QString path = folder.filePath("full.ndjson");
        {
            File_size_limit full(64 * 1024);
            QVERIFY(rig.start(kvt::Lidar::Multi_echo_intensity, path));
            QVERIFY(QTest::qWaitFor(
                [&] { return rig.recording_status().startsWith("Recording stopped after "); },
                5000));
        }
        QVERIFY2(rig.recording_status().contains(path + ": ") &&
                     rig.recording_status().contains("File too large"),
                 qPrintable(rig.recording_status()));
        QVERIFY(!rig.button("btn_record")->isChecked());
        QVERIFY(rig.window.is_running());
        const long now = rig.window.view()->scan().number;
        QVERIFY(QTest::qWaitFor([&] { return rig.window.view()->scan().number > now; }, 3000));
        QVERIFY(rig.stop());
        QVERIFY(rig.status().startsWith("Stopped after "));
    }

    // A failed save leaves what was there as it was and gives the system's reason.
    void failed_save_keeps_the_old_file_and_says_why_data()
    {
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QString>("in_place"); // what stands at the path before
        QTest::addColumn<QString>("reason");
        for (const bool picture : {false, true}) {
            // The rename must not put the file in place of anything but a file.
            QTest::addRow("%d over a folder", picture) << picture << "folder" << "regular file";
            QTest::addRow("%d over a pipe", picture) << picture << "pipe" << "regular file";
            QTest::addRow("%d on a full disk", picture) << picture << "file" << "File too large";
        }
    }
    void failed_save_keeps_the_old_file_and_says_why()
    {
        QFETCH(bool, picture);
        QFETCH(QString, in_place);
        QFETCH(QString, reason);
        Live_rig rig;
        QVERIFY(rig.start(kvt::Lidar::Range) && rig.wait_for_scan());
        QVERIFY(rig.stop());
        QTemporaryDir folder;
        const QString path = folder.filePath("saved");
        QFile old(path);
        const bool file_in_place = in_place == "file";
        if (in_place == "folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (in_place == "pipe") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
        }
        old.close();
        const QFileInfo before(path);
        {
            File_size_limit full(file_in_place ? 256 : RLIM_INFINITY);
            QVERIFY(!(picture ? rig.window.save_picture(path) : rig.window.save_scan(path)));
        }
        const QString message = rig.window.findChild<QLabel*>("lbl_hover")->text();
        QVERIFY2(message.startsWith("Could not write " + path + ": ") && message.contains(reason),
                 qPrintable(message));
        const QFileInfo after(path);
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.isFile(), before.isFile());
        if (file_in_place) {
            QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old\n");
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System).size(),
                 in_place == "folder" ? 0 : 1);
    }

    void closing_stops_the_sensor_output()
    {
        Live_rig rig;
        QSignalSpy running(&rig.window, &Live_scan_window::running_changed);
        QVERIFY(rig.start(kvt::Lidar::Range));
        QVERIFY(rig.wait_for_scan());
        rig.window.close();
        QVERIFY(QTest::qWaitFor([&] { return !rig.window.is_running(); }, 3000));
        const long shown = rig.window.view()->scan().number;
        QCOMPARE(rig.status(), QString("Stopped after %1 scans.").arg(shown + 1));
        QCOMPARE(running.size(), 2);
        QCOMPARE(running.last().at(0).toBool(), false);
        QCOMPARE(rig.session.commands().back(), std::string("QT"));
        // Nothing more arrives for longer than several scan periods.
        char buffer[64];
        QVERIFY(rig.session.driver.raw_read(buffer, sizeof buffer, 400) <= 0);
    }

    // Stopping returns at once; an exchange posted after it goes out once the measurement
    // has stopped the sensor's output, whether the sensor confirms or is given up on.
    void exchanges_after_a_stop_follow_it_data()
    {
        QTest::addColumn<bool>("ignores_stop");
        QTest::newRow("confirms") << false;
        QTest::newRow("ignores QT") << true;
    }
    void exchanges_after_a_stop_follow_it()
    {
        QFETCH(bool, ignores_stop);
        Live_rig rig;
        QVERIFY(rig.start(kvt::Lidar::Range) && rig.wait_for_scan());
        rig.session.sim.set_fault(vyr_sim::Fault::ignore_stop, ignores_stop);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!rig.window.stop());
        QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rig.status(), QString("Stopping..."));
        int written = 0;
        Driver_owner::of(rig.session.driver)
            ->post(&rig.window, [](kvt::Lidar& lidar) { return lidar.raw_write("VV\n", 3); },
                   [&](int result) { written = result; });
        QVERIFY(QTest::qWaitFor([&] { return written != 0; }, 5000));
        QCOMPARE(written, 3);
        QVERIFY(!rig.window.is_running());
        QVERIFY2(clock.elapsed() < Scan_worker::stop_bound_ms,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(rig.status().contains(ignores_stop ? "did not confirm the stop" : "Stopped after"),
                 qPrintable(rig.status()));
        const std::vector<std::string> commands = rig.session.commands_after(3);
        QCOMPARE(commands[commands.size() - 2], std::string("QT"));
        QCOMPARE(commands.back(), std::string("VV"));
    }

    // The stop goes on behind the window; the new kind starts once the old one has ended.
    void new_kind_restarts_after_the_stop()
    {
        Live_rig rig;
        QVERIFY(rig.start(kvt::Lidar::Range));
        QVERIFY(rig.wait_for_scan());
        auto* kind = rig.window.findChild<QComboBox*>("cmb_kind");
        kind->setCurrentIndex(kind->findData(kvt::Lidar::Multi_echo));
        QVERIFY(QTest::qWaitFor(
            [&] { return rig.window.view()->scan().type == kvt::Lidar::Multi_echo; }, 5000));
        QVERIFY(rig.window.is_running());
        const std::vector<std::string> commands = rig.session.commands();
        QVERIFY(commands.size() >= 3);
        QCOMPARE(commands[0].substr(0, 2), std::string("MD"));
        QCOMPARE(commands[1], std::string("QT"));
        QCOMPARE(commands[2].substr(0, 2), std::string("ND"));
    }

    void pause_freezes_the_picture_while_scans_keep_coming()
    {
        Live_rig rig;
        QVERIFY(rig.start(kvt::Lidar::Range));
        QVERIFY(rig.wait_for_scan());
        rig.window.findChild<QPushButton*>("btn_pause")->click();
        const long frozen = rig.window.view()->scan().number;
        const QString before = rig.status();
        QVERIFY(QTest::qWaitFor([&] { return rig.status() != before; }, 3000));
        QCOMPARE(rig.window.view()->scan().number, frozen);
        QVERIFY(rig.status().contains("picture paused"));
        auto* pause = rig.window.findChild<QPushButton*>("btn_pause");
        auto* save = rig.window.findChild<QPushButton*>("btn_save_scan");

        // A pause ends with its run, and a new run is not frozen by the last one's.
        QVERIFY(rig.stop());
        QVERIFY(!pause->isChecked());
        QVERIFY(save->isEnabled());
        pause->click();
        rig.window.start();
        QVERIFY(!pause->isChecked());
        QVERIFY(QTest::qWaitFor([&] { return rig.window.view()->scan().number != frozen; }, 5000));
        QVERIFY(save->isEnabled());

        pause->click();
        rig.window.set_available(false);
        QVERIFY(!pause->isChecked());
        QVERIFY(QTest::qWaitFor([&] { return !rig.window.is_running(); }, 5000));
        QVERIFY(save->isEnabled());
    }

    // Down to 420 px wide, in either language, every control shows its whole text.
    void controls_fit_a_narrow_window_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("English") << false;
        QTest::newRow("Japanese") << true;
    }
    void controls_fit_a_narrow_window()
    {
        QFETCH(bool, japanese);
        QTranslator translator;
        if (japanese) {
            QVERIFY(translator.load(CATALOGUE_QM));
            QCoreApplication::installTranslator(&translator);
        }
        Sensor_session session;
        Live_scan_window window(session.driver);
        QCoreApplication::removeTranslator(&translator);
        window.resize(420, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.width(), 420);
        // With a recording open, so that the player's rows show as well.
        QTemporaryDir folder;
        QVERIFY(write_recording(folder.filePath("r.ndjson"), 2, 20));
        QVERIFY(window.open_recording(folder.filePath("r.ndjson")));
        QTest::qWait(0);
        const auto controls = window.findChildren<QWidget*>(
            QRegularExpression("^(btn|cmb)_"));
        QCOMPARE(controls.size(), 17);
        for (const QWidget* control : controls) {
            const QString text = control->property("text").toString();
            QVERIFY2(control->sizeHint().width() <= control->width() &&
                         control->geometry().right() < window.width(),
                     qPrintable(QString("%1 %2: %3 in %4")
                                    .arg(control->objectName(), text)
                                    .arg(control->sizeHint().width())
                                    .arg(control->width())));
        }
        if (japanese) {
            QCOMPARE(window.findChild<QPushButton*>("btn_start")->text(), QString("開始"));
        }
        // Long texts in the lines below (a ruler's figures, a failure's detail, a file's
        // path) do not widen the window.
        const QString long_text = QString("status ").repeated(20) + QString(120, 'm');
        for (const char* name : {"lbl_hover", "lbl_status", "lbl_recording"}) {
            window.findChild<QLabel*>(name)->setText(long_text);
            window.findChild<QLabel*>(name)->show();
        }
        QTest::qWait(50);
        QCOMPARE(window.width(), 420);
    }

    void read_error_stops_the_view_with_the_reason()
    {
        Live_rig rig;
        QSignalSpy running(&rig.window, &Live_scan_window::running_changed);
        QVERIFY(rig.start(kvt::Lidar::Multi_echo));
        QVERIFY(rig.wait_for_scan());
        rig.session.sim.stop();
        QVERIFY(QTest::qWaitFor([&] { return !rig.window.is_running(); }, 5000));
        QVERIFY2(rig.status().startsWith("Measurement stopped: "), qPrintable(rig.status()));
        QCOMPARE(running.size(), 2);
        QVERIFY(rig.window.findChild<QPushButton*>("btn_start")->isEnabled());
    }

    // Both pictures: the x/y one differs only in its background.
    void hover_names_the_step_under_the_point_data()
    {
        QTest::addColumn<bool>("xy");
        QTest::newRow("polar") << false;
        QTest::newRow("x/y") << true;
    }
    void hover_names_the_step_under_the_point()
    {
        QFETCH(bool, xy);
        Live_rig rig;
        // A long-range sensor indoors: the data is a small part of the range.
        rig.session.sim.set_parameter("DMAX", "60000");
        QVERIFY(rig.start(kvt::Lidar::Multi_echo_intensity));
        QVERIFY(rig.wait_for_scan());
        QVERIFY(rig.stop());
        if (xy) {
            rig.window.findChild<QPushButton*>("btn_xy")->click();
            QVERIFY(rig.window.view()->cartesian());
        }
        const Polar_view* view = rig.window.view();
        const kvt::Scan_record& scan = view->scan();
        for (int index : {0, 1, 340, scan.size() - 1}) {
            const QString readout = view->readout_at(view->screen_point(index, 0));
            QVERIFY2(readout.contains(QString("step %1,").arg(scan.step[index])), qPrintable(readout));
            QVERIFY(readout.contains(QString("index %1,").arg(index)));
            QVERIFY(readout.contains(QString("distance %1 mm").arg(scan.distance[index * 3])));
            QVERIFY(readout.contains(QString("intensity %1").arg(scan.intensity[index * 3])));
        }
        // A little off a point still names it; over empty space nothing is named.
        const QPointF near = view->screen_point(340, 0) + QPointF(5, 0);
        QVERIFY(!view->readout_at(near).isEmpty());
        int empty_places = 0;
        for (int x = 0; x < view->width(); x += 16) {
            for (int y = 0; y < view->height(); y += 16) {
                double nearest = 1e9;
                for (int index = 0; index < scan.size(); ++index) {
                    for (int echo = 0; echo < 3; ++echo) {
                        if (scan.distance[index * 3 + echo] > 0) {
                            const QPointF d = view->screen_point(index, echo) - QPointF(x, y);
                            nearest = std::min(nearest, std::hypot(d.x(), d.y()));
                        }
                    }
                }
                if (nearest > Polar_view::hover_reach_px + 0.5) {
                    ++empty_places;
                    QVERIFY2(view->readout_at(QPointF(x, y)).isEmpty(),
                             qPrintable(QString("%1,%2").arg(x).arg(y)));
                } else if (nearest < Polar_view::hover_reach_px - 0.5) {
                    QVERIFY2(!view->readout_at(QPointF(x, y)).isEmpty(),
                             qPrintable(QString("%1,%2").arg(x).arg(y)));
                }
            }
        }
        QVERIFY(empty_places > 0);

        // The intensity scale gives the shown scan's range; the legend sits off the data.
        rig.window.view()->grab();
        unsigned low = scan.intensity[0], high = low;
        for (int index = 0; index < scan.size(); ++index) {
            low = std::min<unsigned>(low, scan.intensity[index * 3]);
            high = std::max<unsigned>(high, scan.intensity[index * 3]);
        }
        QCOMPARE(view->intensity_low(), low);
        QCOMPARE(view->intensity_high(), high);
        QVERIFY(low < high);
        const QRectF legend(view->legend_box());
        QVERIFY(!legend.isEmpty());
        for (int index = 0; index < scan.size(); ++index) {
            for (int echo = 0; echo < 3; ++echo) {
                if (scan.distance[index * 3 + echo] > 0) {
                    QVERIFY(!legend.contains(view->screen_point(index, echo)));
                }
            }
        }

        // Labels stay in view and off the legend, zoomed in too; ring labels keep off the
        // 0° ray's line.
        auto* zoomable = rig.window.view();
        for (int zoom : {0, 900}) {
            QWheelEvent wheel(QPointF(view->width() / 2.0, view->height() / 3.0), QPointF(),
                              QPoint(), QPoint(0, zoom), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(zoomable, &wheel);
            zoomable->grab();
            int angle_labels = 0, metre_labels = 0;
            const double zero_x = view->width() / 2.0; // the sensor stays on the middle line
            for (const auto& [text, box] : view->labels()) {
                QVERIFY2(QRectF(view->rect()).contains(box), qPrintable(text));
                QVERIFY2(!box.intersects(legend), qPrintable(text));
                metre_labels += text.endsWith(" m");
                if (text.endsWith("°") || text == "x" || text == "y") {
                    ++angle_labels;
                } else {
                    QVERIFY2(box.left() > zero_x || box.right() < zero_x, qPrintable(text));
                }
            }
            QVERIFY2(angle_labels >= (xy ? 2 : 3) && metre_labels >= 2,
                     qPrintable(QString::number(zoom)));
        }

        // "Fit" fills the view with the data, "Fit range" shows the whole measurable range.
        std::vector<long> valid;
        for (const long d : scan.distance) {
            if (d > 0) {
                valid.push_back(d);
            }
        }
        std::sort(valid.begin(), valid.end());
        const long typical = valid[valid.size() * 98 / 100];
        const auto shown = [&] {
            int inside = 0;
            for (int index = 0; index < scan.size(); ++index) {
                for (int echo = 0; echo < 3; ++echo) {
                    inside += scan.distance[index * 3 + echo] > 0 &&
                              view->rect().contains(view->screen_point(index, echo).toPoint());
                }
            }
            return double(inside) / valid.size();
        };
        rig.window.findChild<QPushButton*>("btn_fit")->click();
        const double data_scale = view->pixels_per_mm();
        QVERIFY(shown() >= 0.97);
        QVERIFY2(typical * data_scale >= 0.4 * std::min(view->width(), view->height()),
                 qPrintable(QString::number(typical * data_scale)));
        rig.window.findChild<QPushButton*>("btn_fit_range")->click();
        QCOMPARE(shown(), 1.0);
        QCOMPARE(view->max_distance(), 60000L);
        QVERIFY(view->pixels_per_mm() * 4 < data_scale);
    }
    // Straight ahead is up, 90° to the left, -90° to the right, at the same scale in both
    // pictures; the x/y labels name the lines through the points.
    void points_land_where_the_angles_count()
    {
        Made_up_view made_up{{0, 2000}, {90, 2000}, {-90, 4000}};
        Polar_view& view = made_up.view;
        for (const bool xy : {false, true}) {
            view.set_cartesian(xy);
            const QPointF ahead = view.screen_point(0, 0), left = view.screen_point(1, 0),
                          right = view.screen_point(2, 0);
            const double scale = view.pixels_per_mm();
            QCOMPARE(left.y(), right.y());
            QCOMPARE(ahead.x() - left.x(), 2000 * scale);
            QCOMPARE(right.x() - ahead.x(), 4000 * scale);
            QCOMPARE(left.y() - ahead.y(), 2000 * scale);
            view.grab();
            // x values along the x axis, y values along the y axis.
            const auto labelled = [&](const QString& name, bool by_x, double at) {
                for (const auto& [text, box] : view.labels()) {
                    const double place = by_x ? box.center().x() : box.center().y();
                    if (text == name && (at < 0 || std::abs(place - at) < 0.5)) {
                        return true;
                    }
                }
                return false;
            };
            QCOMPARE(labelled("x", true, -1) && labelled("y", true, -1), xy);
            QCOMPARE(labelled("2 m", false, ahead.y()), xy);
            QCOMPARE(labelled("2 m", true, left.x()), xy);
            QCOMPARE(labelled("-4 m", true, right.x()), xy);
        }
        // A range no sensor has: zoomed out, the grid gives way to the axes alone.
        view.set_area(-135, 135, 20, 2147483647);
        view.grab();
        QCOMPARE(view.labels().size(), size_t(2));
    }

    // 1-2-5 steps from 0.1 m to 10 m, the first at least 60 px apart.
    void grid_step_follows_the_zoom_data()
    {
        QTest::addColumn<double>("pixels_per_mm");
        QTest::addColumn<double>("step_mm");
        QTest::newRow("zoomed far in") << 50.0 << 100.0;
        QTest::newRow("0.2 m") << 0.3 << 200.0;
        QTest::newRow("exactly 60 px") << 0.06 << 1000.0;
        QTest::newRow("just under") << 0.0599 << 2000.0;
        QTest::newRow("5 m") << 0.012 << 5000.0;
        QTest::newRow("zoomed far out") << 0.0001 << 10000.0;
    }
    void grid_step_follows_the_zoom()
    {
        QFETCH(double, pixels_per_mm);
        QFETCH(double, step_mm);
        QCOMPARE(Cartesian_grid::step_for(pixels_per_mm), step_mm);
    }

    // The legend leaves a corner that data covers, and does not hop back once it is free.
    void legend_keeps_its_corner_while_no_other_is_freer()
    {
        Made_up_view made_up{{0, 100}};
        Polar_view& view = made_up.view;
        kvt::Scan_record near = view.scan();
        view.grab();
        const QRect first = view.legend_box();
        const auto add = [](kvt::Scan_record& scan, double degrees, long distance) {
            scan.step.push_back(int(scan.step.size()));
            scan.angle_deg.push_back(degrees);
            scan.distance.push_back(distance);
        };
        kvt::Scan_record everywhere; // a net of points over the whole picture
        for (int degrees = -135; degrees <= 135; degrees += 3) {
            for (long distance = 200; distance <= 9000; distance += 100) {
                add(everywhere, degrees, distance);
            }
        }
        kvt::Scan_record shown = everywhere; // the view takes it
        view.show_scan(shown);
        kvt::Scan_record under; // the net's points under the legend
        for (int index = 0; index < everywhere.size(); ++index) {
            if (QRectF(first).contains(view.screen_point(index, 0))) {
                add(under, everywhere.angle_deg[index], everywhere.distance[index]);
            }
        }
        QVERIFY(under.size() > 0);
        view.show_scan(under);
        view.grab();
        const QRect moved = view.legend_box();
        QVERIFY(moved != first);
        view.show_scan(near);
        view.grab();
        QCOMPARE(view.legend_box(), moved);
    }

    // Ends within reach of a point take its place; a click alone measures from the sensor.
    // The ruler stays through new scans and zoom, and Esc or a right click clears it.
    void ruler_measures_between_points_data()
    {
        QTest::addColumn<bool>("xy");
        QTest::addColumn<bool>("ruler_mode"); // else Shift held
        QTest::addColumn<int>("from");        // point index, -1 for a click alone
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("escape");     // else a right click
        QTest::addColumn<QString>("readout");
        QTest::newRow("polar, ruler mode, across")
            << false << true << 0 << 1 << true
            << "ruler 2.828 m at 135.0°; ends 2.000 m at 0.0° and 2.000 m at 90.0° from the sensor";
        QTest::newRow("x/y, Shift, left to right")
            << true << false << 1 << 2 << false
            << "ruler 3.000 m at -90.0°; ends 2.000 m at 90.0° and 1.000 m at -90.0° from the sensor";
        QTest::newRow("x/y, click from the sensor")
            << true << true << -1 << 3 << true
            << "ruler 3.000 m at -45.0°; ends 0.000 m at 0.0° and 3.000 m at -45.0° from the sensor";
        QTest::newRow("polar, Shift, back along a ray")
            << false << false << 3 << 4 << false
            << "ruler 2.000 m at 135.0°; ends 3.000 m at -45.0° and 1.000 m at -45.0° from the sensor";
        // Straight behind reads 180°, whichever side the rounding falls on.
        QTest::newRow("x/y, ruler mode, to straight behind")
            << true << true << 0 << 5 << false
            << "ruler 3.000 m at 180.0°; ends 2.000 m at 0.0° and 1.000 m at 180.0° from the sensor";
    }
    void ruler_measures_between_points()
    {
        QFETCH(bool, xy);
        QFETCH(bool, ruler_mode);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, escape);
        QFETCH(QString, readout);
        Made_up_view made_up{{0, 2000}, {90, 2000}, {-90, 1000}, {-45, 3000}, {-45, 1000},
                             {-180, 1000}};
        Polar_view& view = made_up.view;
        view.set_cartesian(xy);
        view.set_ruler_mode(ruler_mode);
        const Qt::KeyboardModifiers keys = ruler_mode ? Qt::NoModifier : Qt::ShiftModifier;
        // A few pixels off each point, within reach.
        const QPointF off(3, -4);
        if (from < 0) {
            made_up.mouse(QEvent::MouseButtonPress, Qt::LeftButton, view.screen_point(to, 0) + off, keys);
            made_up.mouse(QEvent::MouseButtonRelease, Qt::LeftButton, view.screen_point(to, 0) + off, keys);
        } else {
            made_up.drag(view.screen_point(from, 0) - off, view.screen_point(to, 0) + off, keys);
        }
        QCOMPARE(view.ruler().readout(), readout);
        QCOMPARE(made_up.hover.last(), readout);
        QEvent leave(QEvent::Leave); // off to the buttons: the figures stay
        QCoreApplication::sendEvent(&view, &leave);
        QCOMPARE(made_up.hover.last(), readout);

        // The picture moves, the ruler keeps its place in metres and stays off the legend.
        kvt::Scan_record next = view.scan();
        view.show_scan(next);
        QWheelEvent wheel(QPointF(200, 200), QPointF(), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&view, &wheel);
        view.grab();
        QCOMPARE(view.ruler().readout(), readout);
        QVERIFY(!view.ruler_label_box().isEmpty());
        QVERIFY(QRectF(view.rect()).contains(view.ruler_label_box()));
        QVERIFY(!view.ruler_label_box().intersects(view.legend_box()));

        // Plain dragging pans unless the ruler mode is on.
        const double scale = view.pixels_per_mm();
        const QPointF sensor = view.screen_point(1, 0) + QPointF(2000 * scale, 0);
        made_up.drag(sensor + QPointF(0, -40), sensor + QPointF(0, -140), Qt::NoModifier);
        if (ruler_mode) {
            QVERIFY(std::abs(view.ruler().length_mm() - 100 / scale) < 0.01);
            QCOMPARE(view.ruler().bearing_deg(), 0.0);
        } else {
            QCOMPARE(view.ruler().readout(), readout);
        }

        if (escape) {
            QTest::keyClick(&view, Qt::Key_Escape);
        } else {
            made_up.mouse(QEvent::MouseButtonPress, Qt::RightButton, QPointF(10, 10));
        }
        QVERIFY(!view.ruler().shown());
        QCOMPARE(made_up.hover.last(), QString());
        view.grab();
        QVERIFY(view.ruler_label_box().isEmpty());
    }
};

QTEST_MAIN(Live_scan_window_test)
#include "live_scan_window_test.moc"
