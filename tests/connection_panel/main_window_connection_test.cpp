#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "driver_owner.h"
#include "live_scan_window.h"
#include "loopback_socket.h"
#include "main_window.h"
#include "polar_view.h"
#include "qvyr_connector.h"
#include "settings_folder.h"
#include "simulator.h"

namespace {

// The setting panels of the column: everything in it but the connection panel and the lines.
QList<QWidget*> setting_panels(MainWindow& window)
{
    QList<QWidget*> panels;
    auto* column = window.findChild<QVBoxLayout*>("vlo_setting");
    for (int i = 0; column && i < column->count(); ++i) {
        QWidget* widget = column->itemAt(i)->widget();
        if (widget && !qobject_cast<QVyr_connector*>(widget) && !qobject_cast<QFrame*>(widget))
            panels << widget;
    }
    return panels;
}

void check_setting_panels_enabled(MainWindow& window, bool enabled)
{
    const QList<QWidget*> panels = setting_panels(window);
    QCOMPARE(panels.size(), 3);
    for (QWidget* panel : panels)
        QCOMPARE(panel->isEnabled(), enabled);
}

// Clicks the connect button and waits until the connect or disconnect has answered.
void click(QVyr_connector* connector)
{
    QTest::mouseClick(connector->btn_connect, Qt::LeftButton);
    const std::shared_ptr<Driver_owner> owner = Driver_owner::of(connector->driver());
    QVERIFY(QTest::qWaitFor([&] { return !owner->busy(); }, 10000));
}

} // namespace

// The window's coupling with the connection panel.
class Main_window_connection_test : public QObject
{
    Q_OBJECT

private slots:
    void successful_connection_enables_the_setting_panels()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        Scoped_working_directory folder;
        QVERIFY(write_settings_file(
            {"ip_address=127.0.0.1", QString("port_num=%1").arg(sensor.tcp_port())}));
        MainWindow window;
        auto* connector = window.findChild<QVyr_connector*>();
        QVERIFY(connector);

        auto* find = window.findChild<QAction*>("actionFind_sensors");
        QVERIFY(find->isEnabled());
        click(connector);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Connect : Success"));
        check_setting_panels_enabled(window, true);
        QVERIFY(window.findChild<QLabel*>("lbl_settings_warning")->isHidden());
        // A search would only change the fields of the connection in use.
        QVERIFY(!find->isEnabled());

        click(connector);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Disconnect : Success"));
        check_setting_panels_enabled(window, false);
        QVERIFY(find->isEnabled());

        // A settings file that can no longer be written is said so while the window is there.
        QVERIFY(QFile::remove("conncet_setting.ini") && QDir().mkdir("conncet_setting.ini"));
        click(connector);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Connect : Success"));
        auto* warning = window.findChild<QLabel*>("lbl_settings_warning");
        QVERIFY(!warning->isHidden());
        QCOMPARE(warning->text(), QString("Settings not saved: a folder is in its place"));

        click(connector);
        QVERIFY(QDir().rmdir("conncet_setting.ini"));
        click(connector);
        QVERIFY(warning->isHidden());
    }

    void failed_connection_leaves_them_disabled()
    {
        const int port = free_loopback_port();
        QVERIFY(port > 0);
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"ip_address=127.0.0.1", QString("port_num=%1").arg(port)}));
        MainWindow window;
        auto* connector = window.findChild<QVyr_connector*>();
        QVERIFY(connector);

        click(connector);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Connect : Fail"));
        check_setting_panels_enabled(window, false);
        auto* reason = window.findChild<QLabel*>("lbl_connect_reason");
        QCOMPARE(reason->text(), QString("connection refused"));
        QCOMPARE(reason->textFormat(), Qt::PlainText);

        // The next connect starts without the old reason.
        QTest::mouseClick(connector->btn_connect, Qt::LeftButton);
        QCOMPARE(reason->text(), QString());
        QTRY_COMPARE(reason->text(), QString("connection refused"));
    }

    void a_lost_link_returns_the_panel_to_connect_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("reason");
        QTest::newRow("sensor closed the socket") << false << "the sensor closed the connection";
        QTest::newRow("terminal hung up") << true << "the device was unplugged";
        QTest::newRow("during a live scan") << false << "the sensor closed the connection";
    }

    // The next exchange finds the sensor gone and the window returns to where a disconnect
    // leaves it.
    void a_lost_link_returns_the_panel_to_connect()
    {
        QFETCH(bool, serial);
        QFETCH(QString, reason);
        vyr_sim::Simulator sensor;
        QVERIFY(serial ? sensor.start_serial() : sensor.start_tcp(0));
        Scoped_working_directory folder;
        MainWindow window;
        auto* connector = window.findChild<QVyr_connector*>();
        QVERIFY(connector);
        connector->use_target(
            !serial, serial ? QString::fromStdString(sensor.serial_path()) : QString("127.0.0.1"),
            serial ? 115200 : sensor.tcp_port());
        click(connector);
        QCOMPARE(window.statusBar()->currentMessage(), QString("Connect : Success"));

        auto* live = window.findChild<Live_scan_window*>();
        const bool scanning = QString(QTest::currentDataTag()) == "during a live scan";
        if (scanning) {
            live->findChild<QPushButton*>("btn_start")->click();
            QVERIFY(QTest::qWaitFor([&] { return live->view()->scan().size() > 0; }, 5000));
        }
        sensor.stop();
        auto* get = window.findChild<QPushButton*>("btn_get");
        QVERIFY(get && get->isEnabled() != scanning);
        if (!scanning) {
            QTest::mouseClick(get, Qt::LeftButton);
        }
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(),
                                  "Connection lost: " + reason, 10000);
        QVERIFY(!connector->btn_connect->isChecked());
        QCOMPARE(connector->btn_connect->text(), QString("Connect"));
        QVERIFY(connector->btn_connect->isEnabled() && connector->cmb_device->isEnabled());
        check_setting_panels_enabled(window, false);
        QVERIFY(!connector->driver().is_open());
    }

    void menus_follow_the_desktop_layout()
    {
        Scoped_working_directory folder;
        MainWindow window;
        QStringList titles;
        for (QAction* menu : window.menuBar()->actions())
            titles << menu->text();
        QCOMPARE(titles, QStringList({"&File", "&Sensor", "&Help"}));
        QVERIFY(window.findChild<QAction*>("actionAbout"));
        auto* quit = window.findChild<QAction*>("actionQuit");
        QCOMPARE(quit->shortcut(), QKeySequence("Ctrl+Q"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        quit->trigger();
        QVERIFY(!window.isVisible());
    }

    void connection_settings_are_saved_when_the_window_closes()
    {
        Scoped_working_directory folder;
        {
            MainWindow window;
            window.findChild<QVyr_connector*>()->set_ip_address("127.0.0.66");
        }
        QCOMPARE(settings_value("ip_address"), QString("127.0.0.66"));
    }
};

QTEST_MAIN(Main_window_connection_test)
#include "main_window_connection_test.moc"
