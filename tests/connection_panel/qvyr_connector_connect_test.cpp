#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include "loopback_socket.h"
#include "settings_folder.h"
#include "connect_reports.h"
#include "driver_owner.h"
#include "qvyr_connector.h"
#include "simulator.h"

namespace {

using Report = QPair<bool, QString>;

void check_connected_look(QVyr_connector& panel)
{
    QVERIFY(panel.btn_connect->isChecked());
    QCOMPARE(panel.btn_connect->text(), QString("Disconnect"));
    QVERIFY(!panel.rdb_ethernet->isEnabled());
    QVERIFY(!panel.rdb_serial->isEnabled());
    QVERIFY(!panel.cmb_device->isEnabled());
    QVERIFY(!panel.cmb_device_num->isEnabled());
    QVERIFY(panel.btn_refresh->isEnabled());
    QVERIFY(panel.driver().is_open());
}

void check_disconnected_look(QVyr_connector& panel)
{
    QVERIFY(!panel.btn_connect->isChecked());
    QCOMPARE(panel.btn_connect->text(), QString("Connect"));
    QVERIFY(panel.rdb_ethernet->isEnabled());
    QVERIFY(panel.rdb_serial->isEnabled());
    QVERIFY(panel.cmb_device->isEnabled());
    QVERIFY(panel.cmb_device_num->isEnabled());
    QVERIFY(!panel.driver().is_open());
}

// Connecting and disconnecting answer later: waits until the panel's exchange has.
void settle(QVyr_connector& panel)
{
    const std::shared_ptr<Driver_owner> owner = Driver_owner::of(panel.driver());
    QVERIFY(QTest::qWaitFor([&] { return !owner->busy(); }, 10000));
}

void click(QVyr_connector& panel)
{
    QTest::mouseClick(panel.btn_connect, Qt::LeftButton);
    settle(panel);
}

void close_link(QVyr_connector& panel)
{
    panel.disconnect_sensor();
    settle(panel);
}

const QList<Report> connected_reports = {{false, "Connect : "}, {true, "Connect : Success"}};
const QList<Report> failed_reports = {{false, "Connect : "}, {false, "Connect : Fail"}};
const QList<Report> disconnect_reports = {{false, "Disconnect : "},
                                          {false, "Disconnect : Success"}};

// A catalogue in the panel's context, compiled into the current folder.
bool load_catalogue(QTranslator& translator)
{
    QFile source("panel.ts");
    if (!source.open(QIODevice::WriteOnly))
        return false;
    source.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>QVyr_connector</name>
    <message><source>Connect</source><translation>CONNECT</translation></message>
    <message><source>Fail</source><translation>NG</translation></message>
    <message><source>IP Address</source><translation>ADDRESS</translation></message>
    <message><source>Reflesh</source><translation>RESCAN</translation></message>
</context>
</TS>
)");
    source.close();
    return QProcess::execute(LRELEASE_PATH, {"-silent", "panel.ts", "-qm", "panel.qm"}) == 0 &&
           translator.load("panel.qm");
}

} // namespace

// Connecting and disconnecting against the simulated sensor.
class Qvyr_connector_connect_test : public QObject
{
    Q_OBJECT

private slots:
    void tcp_connect_then_disconnect()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        Scoped_working_directory folder;
        QVERIFY(write_settings_file(
            {"ip_address=127.0.0.1", QString("port_num=%1").arg(sensor.tcp_port())}));
        QVyr_connector panel;
        QSignalSpy spy(&panel, &QVyr_connector::report_connect_status);

        panel.show();
        // Until the open or close has answered, nothing can start another.
        QTest::mouseClick(panel.btn_connect, Qt::LeftButton);
        QVERIFY(!panel.btn_connect->isEnabled());
        QVERIFY(!panel.cmb_device->isEnabled());
        settle(panel);
        QCOMPARE(reports(spy), connected_reports);
        check_connected_look(panel);
        QVERIFY(panel.btn_connect->isEnabled());
        // The keyboard goes on from the button, as it did before the wait.
        QCOMPARE(panel.focusWidget(), panel.btn_connect);
        QCOMPARE(sensor.connections_accepted(), 1);

        spy.clear();
        QTest::mouseClick(panel.btn_connect, Qt::LeftButton);
        QVERIFY(!panel.btn_connect->isEnabled());
        QVERIFY(!panel.rdb_ethernet->isEnabled());
        settle(panel);
        QCOMPARE(reports(spy), disconnect_reports);
        check_disconnected_look(panel);
        QTRY_VERIFY(!sensor.client_connected());
    }

    // The address field shows the one decimal address the transport connects to.
    void address_is_connected_to_as_shown()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        Scoped_working_directory folder;
        QVERIFY(write_settings_file(
            {"ip_address=127.000.000.001", QString("port_num=%1").arg(sensor.tcp_port())}));
        QVyr_connector panel;
        click(panel);
        check_connected_look(panel);
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.1"));
        QCOMPARE(settings_value("ip_address"), QString("127.0.0.1"));
        // The window's order after a new address: the close is queued, the field set at once.
        panel.disconnect_sensor();
        panel.set_ip_address("127.0.0.010");
        settle(panel);
        check_disconnected_look(panel);
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.10"));
        panel.set_ip_address("127.0.0.0010"); // no address: the user's to correct
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.0010"));
    }

    void failed_tcp_connect_leaves_panel_disconnected()
    {
        const int port = free_loopback_port();
        QVERIFY(port > 0);
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"ip_address=127.0.0.1", QString("port_num=%1").arg(port)}));
        QVyr_connector panel;
        QSignalSpy spy(&panel, &QVyr_connector::report_connect_status);

        click(panel);
        QCOMPARE(reports(spy), failed_reports);
        check_disconnected_look(panel);
    }

    void reports_and_form_texts_are_translated_but_not_the_separator()
    {
        const int port = free_loopback_port();
        QVERIFY(port > 0);
        Scoped_working_directory folder;
        QTranslator translator;
        QVERIFY(load_catalogue(translator));
        QCoreApplication::installTranslator(&translator);
        QVERIFY(write_settings_file({"ip_address=127.0.0.1", QString("port_num=%1").arg(port)}));
        QVyr_connector panel;
        QSignalSpy spy(&panel, &QVyr_connector::report_connect_status);
        click(panel);
        QCoreApplication::removeTranslator(&translator);

        QCOMPARE(reports(spy), QList<Report>({{false, "CONNECT : "}, {false, "CONNECT : NG"}}));
        QCOMPARE(panel.btn_connect->text(), QString("CONNECT"));
        QCOMPARE(panel.label->text(), QString("ADDRESS"));
        QCOMPARE(panel.btn_refresh->text(), QString("RESCAN"));
    }

    void serial_connect_to_pseudo_terminal()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_serial());
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "baudrate_index=0"}));
        QVyr_connector panel;
        panel.cmb_device->addItem(QString::fromStdString(sensor.serial_path()));
        panel.cmb_device->setCurrentIndex(panel.cmb_device->count() - 1);
        QSignalSpy spy(&panel, &QVyr_connector::report_connect_status);

        click(panel);
        QCOMPARE(reports(spy), connected_reports);
        check_connected_look(panel);

        spy.clear();
        close_link(panel);
        QCOMPARE(reports(spy), disconnect_reports);
        check_disconnected_look(panel);
    }

    void disconnect_sensor_while_disconnected_reports_and_closes()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"ip_address=127.0.0.1"}));
        QVyr_connector panel;
        // Opened behind the panel's back: the panel still shows itself disconnected.
        QVERIFY(panel.driver().open("127.0.0.1", sensor.tcp_port(), kvt::Lidar::Ethernet));
        QTRY_VERIFY(sensor.client_connected());
        QSignalSpy spy(&panel, &QVyr_connector::report_connect_status);

        close_link(panel);
        QCOMPARE(reports(spy), disconnect_reports);
        check_disconnected_look(panel);
        QTRY_VERIFY(!sensor.client_connected());

        spy.clear();
        close_link(panel);
        QCOMPARE(reports(spy), disconnect_reports);
    }

    void destruction_closes_an_open_connection()
    {
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        Scoped_working_directory folder;
        QVERIFY(write_settings_file(
            {"ip_address=127.0.0.1", QString("port_num=%1").arg(sensor.tcp_port())}));
        {
            QVyr_connector panel;
            click(panel);
            QVERIFY(panel.driver().is_open());
        }
        QTRY_VERIFY(!sensor.client_connected());
        QCOMPARE(settings_value("port_num"), QString::number(sensor.tcp_port()));
    }
};

QTEST_MAIN(Qvyr_connector_connect_test)
#include "qvyr_connector_connect_test.moc"
