#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "heater_setter.h"
#include "information_window.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "main_window.h"
#include "settings_folder.h"
#include "phase_setter.h"
#include "polar_view.h"
#include "qvyr_connector.h"
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

    bool connect()
    {
        if (!sensor.start_tcp(0) ||
            !write_settings_file({"is_ethernet=true", "ip_address=127.0.0.1",
                                  QString("port_num=%1").arg(sensor.tcp_port())}))
            return false;
        window.reset(new MainWindow);
        window->show();
        QTest::mouseClick(connector()->btn_connect, Qt::LeftButton);
        return window->statusBar()->currentMessage() == "Connect : Success";
    }
    QVyr_connector* connector() { return window->findChild<QVyr_connector*>(); }
    QAction* action(const char* name) { return window->findChild<QAction*>(name); }
    QString info(const char* label) { return window->findChild<QLabel*>(label)->text(); }
    Live_scan_window* live() { return window->findChild<Live_scan_window*>(); }
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
        rig.action("actionInformation")->trigger();
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
        rig.window->findChild<Information_window*>()->findChild<QPushButton*>("btn_refresh")->click();
        QCOMPARE(rig.info("lbl_sensor_status"), QString("Sensor is warming up."));
        QVERIFY(rig.info("lbl_stable").endsWith("not stable"));
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
        QVERIFY(rig.setting_panels_enabled(true));
        QVERIFY(rig.action("actionInformation")->isEnabled());
        QCOMPARE(rig.sensor.received().back().text, std::string("QT"));
    }

    void disconnecting_while_scanning_ends_the_worker_first()
    {
        Window_rig rig;
        QVERIFY(rig.connect());
        const int threads_before = threads_of_this_process();
        QVERIFY(rig.start_live_scan());
        QCOMPARE(threads_of_this_process(), threads_before + 1);

        QTest::mouseClick(rig.connector()->btn_connect, Qt::LeftButton);
        QCOMPARE(rig.window->statusBar()->currentMessage(), QString("Disconnect : Success"));
        QVERIFY(!rig.live()->is_running());
        QCOMPARE(threads_of_this_process(), threads_before);
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
