#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "file_size_limit.h"
#include "settings_folder.h"
#include "qvyr_connector.h"

// The settings file read at construction and written at destruction.
class Qvyr_connector_settings_test : public QObject
{
    Q_OBJECT

private slots:
    void first_start_uses_defaults_and_writes_them()
    {
        Scoped_working_directory folder;
        {
            QVyr_connector panel;
            QVERIFY(panel.rdb_ethernet->isChecked());
            QVERIFY(!panel.rdb_serial->isChecked());
            QCOMPARE(panel.cmb_device->currentText(), QString("192.168.0.10"));
            QCOMPARE(panel.cmb_device_num->currentText(), QString("10940"));
            QCOMPARE(panel.label->text(), QString("IP Address"));
            QCOMPARE(panel.label_2->text(), QString("Port No."));
            QVERIFY(panel.cmb_device->isEditable());
            QVERIFY(panel.cmb_device_num->isEditable());
            QVERIFY(panel.btn_refresh->isHidden());
            QVERIFY(!panel.btn_connect->isChecked());
            QCOMPARE(panel.btn_connect->text(), QString("Connect"));
            QVERIFY(!panel.driver().is_open());
        }
        QCOMPARE(settings_value("is_ethernet"), QString("true"));
        QCOMPARE(settings_value("ip_address"), QString("192.168.0.10"));
        QCOMPARE(settings_value("port_num"), QString("10940"));
        QCOMPARE(settings_value("baudrate_index"), QString("0"));
        QCOMPARE(settings_value("device_name"), QString("COM3"));
    }

    void non_numeric_port_is_written_as_typed_and_reads_back_as_zero()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"ip_address=127.0.0.1"}));
        {
            QVyr_connector panel;
            panel.cmb_device_num->setEditText("80a");
        }
        QCOMPARE(settings_value("port_num"), QString("80a"));
        {
            QVyr_connector panel;
            QCOMPARE(panel.cmb_device_num->currentText(), QString("0"));
        }
        QCOMPARE(settings_value("port_num"), QString("0"));
    }

    void baudrate_index_out_of_range_selects_nothing_and_is_written_as_minus_one()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "baudrate_index=7"}));
        {
            QVyr_connector panel;
            QCOMPARE(panel.cmb_device_num->count(), 3);
            QCOMPARE(panel.cmb_device_num->currentIndex(), -1);
        }
        QCOMPARE(settings_value("baudrate_index"), QString("-1"));
    }

    void serial_exit_keeps_ethernet_values()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file(
            {"is_ethernet=true", "ip_address=127.0.0.9", "port_num=123", "baudrate_index=1"}));
        {
            QVyr_connector panel;
            panel.cmb_device->setEditText("127.0.0.2");
            panel.cmb_device_num->setEditText("4567");
            panel.rdb_serial->setChecked(true);
            QCOMPARE(panel.cmb_device_num->currentIndex(), 1);
            panel.cmb_device_num->setCurrentIndex(2);
        }
        QCOMPARE(settings_value("is_ethernet"), QString("false"));
        QCOMPARE(settings_value("ip_address"), QString("127.0.0.2"));
        QCOMPARE(settings_value("port_num"), QString("4567"));
        QCOMPARE(settings_value("baudrate_index"), QString("2"));
    }

    void ethernet_exit_keeps_serial_values()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "ip_address=127.0.0.3",
                                     "device_name=ttyXYZ9", "baudrate_index=2"}));
        {
            QVyr_connector panel;
            panel.cmb_device->addItem("ttyTEST5");
            panel.cmb_device->setCurrentIndex(panel.cmb_device->count() - 1);
            panel.cmb_device_num->setCurrentIndex(1);
            panel.rdb_ethernet->setChecked(true);
            QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.3"));
        }
        QCOMPARE(settings_value("is_ethernet"), QString("true"));
        QCOMPARE(settings_value("ip_address"), QString("127.0.0.3"));
        QCOMPARE(settings_value("baudrate_index"), QString("1"));
        QCOMPARE(settings_value("device_name"), QString("ttyTEST5"));
    }

    // A file that cannot be written is left as it was and the panel says why; once the
    // cause is gone, the next save goes through.
    void unwritable_file_is_left_as_it_was_and_the_reason_given_data()
    {
        QTest::addColumn<bool>("folder_in_place");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in its place") << true << "a folder is in its place";
        QTest::newRow("full disk") << false << "File too large";
    }
    void unwritable_file_is_left_as_it_was_and_the_reason_given()
    {
        QFETCH(bool, folder_in_place);
        QFETCH(QString, reason);
        Scoped_working_directory folder;
        QVERIFY(folder_in_place ? QDir().mkdir("conncet_setting.ini")
                                : write_settings_file({"ip_address=127.0.0.5"}));
        QVyr_connector panel;
        panel.cmb_device->setEditText("127.0.0.4");
        QSignalSpy reported(&panel, &QVyr_connector::settings_not_saved);
        {
            File_size_limit full(folder_in_place ? RLIM_INFINITY : 16);
            QCOMPARE(panel.save_settings(), reason);
        }
        QCOMPARE(reported.size(), 1);
        QCOMPARE(reported.at(0).at(0).toString(), reason);
        // Read as bytes: QSettings in this process would show the unwritten values.
        QFile file("conncet_setting.ini");
        QCOMPARE(file.open(QIODevice::ReadOnly) && file.readAll().contains("ip_address=127.0.0.5"),
                 !folder_in_place);
        QCOMPARE(QFileInfo("conncet_setting.ini").isDir(), folder_in_place);
        QCOMPARE(QDir().entryList(QDir::Files).size(), folder_in_place ? 0 : 1);
        if (!folder_in_place) {
            QCOMPARE(panel.save_settings(), QString());
            file.close();
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("=127.0.0.4"));
        }
    }
};

QTEST_MAIN(Qvyr_connector_settings_test)
#include "qvyr_connector_settings_test.moc"
