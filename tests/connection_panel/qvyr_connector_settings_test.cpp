#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "settings_folder.h"
#include "qvyr_connector.h"

#include <csignal>

#include <sys/resource.h>

namespace {

QByteArray file_content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files this process writes cannot grow past `bytes` while it lives: a full disk that
// stops writes even for root, for whom permissions stop nothing.
class File_size_limit
{
public:
    explicit File_size_limit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~File_size_limit() { setrlimit(RLIMIT_FSIZE, &previous_); }

private:
    rlimit previous_{};
};

} // namespace

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

    // A file that cannot be written is left as it was, and the panel says why.
    void unwritable_file_is_left_as_it_was_and_the_reason_given_data()
    {
        QTest::addColumn<QString>("in_place");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in its place") << "folder" << "a folder is in its place";
        QTest::newRow("full disk") << "file" << "File too large";
        QTest::newRow("read-only folder") << "read-only folder" << "Permission denied";
    }
    void unwritable_file_is_left_as_it_was_and_the_reason_given()
    {
        QFETCH(QString, in_place);
        QFETCH(QString, reason);
        Scoped_working_directory folder;
        if (in_place == "folder") {
            QVERIFY(QDir().mkdir("conncet_setting.ini"));
        } else {
            QVERIFY(write_settings_file({"ip_address=127.0.0.5"}));
        }
        const QFile::Permissions writable = QFile::permissions(folder.path());
        const bool read_only = in_place == "read-only folder";
        if (read_only) {
            QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
            if (QFileInfo(folder.path()).isWritable()) {
                QFile::setPermissions(folder.path(), writable);
                QSKIP("permissions stop no write of this user (root)");
            }
        }
        const QByteArray before = file_content("conncet_setting.ini");
        {
            QVyr_connector panel;
            QCOMPARE(panel.cmb_device->currentText(),
                     QString(in_place == "folder" ? "192.168.0.10" : "127.0.0.5"));
            panel.cmb_device->setEditText("127.0.0.4");
            QSignalSpy reported(&panel, &QVyr_connector::settings_not_saved);
            QString given;
            {
                File_size_limit full(in_place == "file" ? 16 : RLIM_INFINITY);
                given = panel.save_settings();
            }
            QFile::setPermissions(folder.path(), writable);
            QVERIFY2(given.contains(reason), qPrintable(given));
            QCOMPARE(reported.size(), 1);
            QCOMPARE(reported.at(0).at(0).toString(), given);
            QCOMPARE(file_content("conncet_setting.ini"), before);
            if (in_place != "folder") {
                // Once the cause is gone, the next save goes through.
                QCOMPARE(panel.save_settings(), QString());
                QCOMPARE(settings_value("ip_address"), QString("127.0.0.4"));
                return;
            }
        }
        QCOMPARE(QFileInfo("conncet_setting.ini").isDir(), in_place == "folder");
        QCOMPARE(QDir().entryList(QDir::Files | QDir::NoDotAndDotDot).size(),
                 in_place == "folder" ? 0 : 1);
    }

    void saving_now_writes_the_fields_on_screen()
    {
        Scoped_working_directory folder;
        QVyr_connector panel;
        panel.cmb_device->setEditText("127.0.0.6");
        QCOMPARE(panel.save_settings(), QString());
        QCOMPARE(settings_value("ip_address"), QString("127.0.0.6"));
    }
};

QTEST_MAIN(Qvyr_connector_settings_test)
#include "qvyr_connector_settings_test.moc"
