#include <QAction>
#include <QDir>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "heater_setter.h"
#include "information_window.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "main_window.h"
#include "settings_folder.h"
#include "phase_setter.h"
#include "polar_view.h"
#include "qvyr_connector.h"
#include "recording_fixture.h"
#include "scan_playback.h"
#include "simulator.h"

namespace {

int threads_of_this_process()
{
    return static_cast<int>(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// The whole window with its connection pointed at the simulated sensor.
struct Window_rig
{
    vyr_sim::Simulator sensor;
    Scoped_working_directory folder;
    QScopedPointer<MainWindow> window;

    bool open_window()
    {
        if (!sensor.start_tcp(0) ||
            !write_settings_file({"is_ethernet=true", "ip_address=127.0.0.1",
                                  QString("port_num=%1").arg(sensor.tcp_port())}))
            return false;
        window.reset(new MainWindow);
        window->show();
        return true;
    }
    bool connect()
    {
        if (!window && !open_window())
            return false;
        QTest::mouseClick(connector()->btn_connect, Qt::LeftButton);
        return wait_for_status("Connect : Success");
    }
    bool wait_for_status(const QString& text)
    {
        return QTest::qWaitFor([&] { return window->statusBar()->currentMessage() == text; }, 5000);
    }
    QVyr_connector* connector() { return window->findChild<QVyr_connector*>(); }
    QAction* action(const char* name) { return window->findChild<QAction*>(name); }
    QString info(const char* label) { return window->findChild<QLabel*>(label)->text(); }
    Live_scan_window* live() { return window->findChild<Live_scan_window*>(); }
    QPushButton* refresh_button()
    {
        return window->findChild<Information_window*>()->findChild<QPushButton*>("btn_refresh");
    }
    // The read goes on behind the window, its button off until the labels have changed.
    bool read_information(const std::function<void()>& ask)
    {
        ask();
        return !refresh_button()->isEnabled() &&
               QTest::qWaitFor([this] { return refresh_button()->isEnabled(); }, 5000);
    }
    bool refresh_information()
    {
        return read_information([this] { refresh_button()->click(); });
    }
    bool open_information()
    {
        return read_information([this] { action("actionInformation")->trigger(); });
    }
    bool start_live_scan()
    {
        action("actionLive_scan")->trigger();
        live()->findChild<QPushButton*>("btn_start")->click();
        return QTest::qWaitFor([this] { return live()->view()->scan().size() > 0; }, 5000);
    }
    bool setting_panels_enabled(bool enabled)
    {
        return window->findChild<QVyr_heater_setter*>()->isEnabled() == enabled &&
               window->findChild<QVyr_phase_setter*>()->isEnabled() == enabled &&
               window->findChild<QVyr_ip_changer*>()->isEnabled() == enabled;
    }
};

} // namespace

class Sensor_menu_test : public QObject
{
    Q_OBJECT

private slots:
    void menu_follows_the_connection()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        QVERIFY(rig.action("actionInformation")->isEnabled());
        QVERIFY(rig.action("actionLive_scan")->isEnabled());
        rig.connector()->disconnect_sensor();
        QVERIFY(!rig.action("actionInformation")->isEnabled());
        QVERIFY(!rig.action("actionLive_scan")->isEnabled());
    }

    void information_window_shows_the_sensor_texts()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        QVERIFY(rig.open_information());
        QVERIFY(rig.window->findChild<Information_window*>()->isVisible());
        QCOMPARE(rig.info("lbl_product"), QString("VYR-SIM01"));
        QCOMPARE(rig.info("lbl_firmware"), QString("1.2.3"));
        QCOMPARE(rig.info("lbl_serial"), QString("S0000001"));
        QCOMPARE(rig.info("lbl_sensor_status"), QString("Stable 000 no error."));
        QVERIFY(rig.info("lbl_stable").endsWith(" stable"));
        QCOMPARE(rig.info("lbl_measurement_state"), QString("Idle"));
        QCOMPARE(rig.info("lbl_step_limits"), QString("-340 to 341 (-119.531° to 119.883°)"));
        QCOMPARE(rig.info("lbl_distance_limits"), QString("20 to 5600 mm"));
        QCOMPARE(rig.info("lbl_scan_period"), QString("100000 us (10.0 scans/s)"));
        QCOMPARE(rig.info("lbl_steps_per_scan"), QString("682"));

        rig.sensor.set_info_field("STAT", "Sensor is warming up.");
        QVERIFY(rig.refresh_information());
        QCOMPARE(rig.info("lbl_sensor_status"), QString("Sensor is warming up."));
        QVERIFY(rig.info("lbl_stable").endsWith("not stable"));

        // Sensor texts are data: markup is shown as written, never rendered, linked or
        // loaded (an image of /dev/zero reads until memory runs out).
        rig.sensor.set_fault(vyr_sim::Fault::hostile_text);
        QVERIFY(rig.refresh_information());
        const QString hostile = QString::fromLatin1(vyr_sim::hostile_text().c_str());
        QCOMPARE(rig.info("lbl_sensor_status"), hostile);
        for (const QLabel* label : rig.window->findChildren<QLabel*>()) {
            QVERIFY2(label->text() != hostile || label->textFormat() == Qt::PlainText,
                     qPrintable(label->objectName()));
        }
        QCOMPARE(rig.live()->findChild<QLabel*>("lbl_status")->textFormat(), Qt::PlainText);
    }

    // One look ends with the first question the sensor leaves unanswered, however it
    // fails to answer; the rows after it say they were not read.
    void information_stops_at_the_first_unanswered_query_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("first_unread");
        QTest::addColumn<int>("queries");
        QTest::newRow("silent sensor")
            << QString() << int(vyr_sim::Fault::no_answer) << "lbl_firmware" << 1;
        QTest::newRow("II without end")
            << "II" << int(vyr_sim::Fault::endless_reply) << "lbl_stable" << 2;
    }
    void information_stops_at_the_first_unanswered_query()
    {
        QFETCH(QString, command);
        QFETCH(int, fault);
        QFETCH(QString, first_unread);
        QFETCH(int, queries);
        Window_rig rig;
        QVERIFY(rig.connect());
        rig.sensor.set_fault_command(command.toStdString());
        rig.sensor.set_fault(vyr_sim::Fault(fault));
        rig.sensor.clear_received();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(rig.open_information());
        const qint64 took_ms = clock.elapsed();
        qInfo("one look took %lld ms", took_ms);
        // One query's bound: its reply time-out and half a second.
        QVERIFY2(took_ms < 2500 + 300, qPrintable(QString::number(took_ms)));
        QCOMPARE(rig.sensor.received().size(), size_t(queries));
        const char* rows[] = {"lbl_product",       "lbl_firmware", "lbl_serial",
                              "lbl_sensor_status", "lbl_stable",   "lbl_measurement_state"};
        bool unread = false;
        for (const char* row : rows) {
            unread = unread || first_unread == row;
            QCOMPARE(rig.info(row) == "not read", unread);
        }
        QCOMPARE(rig.info("lbl_steps_per_scan"), QString("682"));
    }

    // A recording plays in the live view with no sensor; the sensor's Start waits until
    // the recording is closed.
    void recording_plays_without_a_sensor()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("scans.ndjson");
        QVERIFY(write_recording(path, 20, 20));
        Window_rig rig;
        QVERIFY(rig.open_window());
        QAction* open = rig.action("actionOpen_recording");
        QVERIFY(open->isEnabled());
        QTimer chooser;
        QObject::connect(&chooser, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                // Typed, not selectFile(): that leaves a name field with the focus alone.
                if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
                    name->setText(path);
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            }
        });
        chooser.start(10);
        open->trigger();
        chooser.stop();
        QVERIFY(rig.live()->isVisible());
        QVERIFY(rig.live()->is_playing_back());
        QVERIFY(QTest::qWaitFor([&] { return rig.live()->view()->scan().size() == 11; }, 3000));
        auto* start = rig.live()->findChild<QPushButton*>("btn_start");
        QVERIFY(rig.connect());
        QVERIFY(!start->isEnabled());
        rig.live()->findChild<QPushButton*>("btn_close_recording")->click();
        QVERIFY(start->isEnabled());
        QVERIFY(rig.start_live_scan());
        QVERIFY(!open->isEnabled());
    }

    void setting_panels_wait_while_scanning()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        QVERIFY(rig.setting_panels_enabled(true));
        QVERIFY(rig.start_live_scan());
        QVERIFY(rig.setting_panels_enabled(false));
        QVERIFY(!rig.action("actionInformation")->isEnabled());
        rig.live()->findChild<QPushButton*>("btn_stop")->click();
        // The stop ends on the worker's thread; the panels wait until it has.
        QVERIFY(rig.setting_panels_enabled(false));
        QVERIFY(QTest::qWaitFor([&] { return rig.setting_panels_enabled(true); }, 3000));
        QVERIFY(rig.action("actionInformation")->isEnabled());
        QCOMPARE(rig.sensor.received().back().text, std::string("QT"));
    }

    void disconnecting_while_scanning_ends_the_worker_first()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        // The scans are read on the thread every exchange goes through.
        const int threads_before = threads_of_this_process();
        QVERIFY(rig.start_live_scan());
        QCOMPARE(threads_of_this_process(), threads_before);

        QTest::mouseClick(rig.connector()->btn_connect, Qt::LeftButton);
        QVERIFY(rig.wait_for_status("Disconnect : Success"));
        QVERIFY(!rig.live()->is_running());
        QVERIFY2(rig.live()->findChild<QLabel*>("lbl_status")->text().startsWith("Stopped after "),
                 qPrintable(rig.live()->findChild<QLabel*>("lbl_status")->text()));
        QVERIFY(rig.setting_panels_enabled(false));
        // The measurement was stopped on a still open link, before the close.
        QVERIFY(rig.sensor.wait_for_received(1, 0));
        QCOMPARE(rig.sensor.received().back().text, std::string("QT"));
    }

    void quitting_while_scanning_stops_the_measurement()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        QVERIFY(rig.start_live_scan());
        rig.window.reset();
        QCOMPARE(rig.sensor.received().back().text, std::string("QT"));
    }
};

QTEST_MAIN(Sensor_menu_test)
#include "sensor_menu_test.moc"
