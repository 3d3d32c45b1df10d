// The settings file and the working directory are the user's, not ours: garbage,
// a huge file, an unreadable one or a folder that cannot be written must still
// give a window that starts with the defaults.

#include "main_window.h"
#include "settings_folder.h"
#include "qvyr_connector.h"
#include "simulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char settings_file[] = "conncet_setting.ini";

void verify_defaults(const MainWindow& window)
{
    const auto* panel = window.findChild<QVyr_connector*>();
    QVERIFY(panel);
    QVERIFY(panel->rdb_ethernet->isChecked());
    QCOMPARE(panel->cmb_device->currentText(), QString("192.168.0.10"));
    QCOMPARE(panel->cmb_device_num->currentText(), QString("10940"));
    QCOMPARE(window.findChild<QStatusBar*>()->currentMessage(), QString("Start Application."));
}

bool write_bytes(const QByteArray& bytes)
{
    QFile file(settings_file);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray garbage(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(20261208);
    for (char& byte : bytes) {
        byte = char(random.bounded(256));
    }
    return bytes;
}

} // namespace

class Hostile_settings_test : public QObject
{
    Q_OBJECT

private slots:
    void binary_garbage_gives_the_defaults()
    {
        Scoped_working_directory folder;
        QVERIFY(write_bytes(garbage(64 * 1024)));
        MainWindow window;
        verify_defaults(window);
    }

    // Keys that look right but carry hostile values.
    void garbage_around_the_keys_gives_the_defaults_of_unusable_values()
    {
        Scoped_working_directory folder;
        QVERIFY(write_bytes(garbage(4096) + "\n[General]\nport_num=\xff\xfe\n" +
                            "baudrate_index=99999999999999999999\nis_ethernet=\x01\n" +
                            "ip_address=" + QByteArray(100000, 'A') + "\n" + garbage(4096)));
        MainWindow window;
        const auto* panel = window.findChild<QVyr_connector*>();
        QVERIFY(panel->rdb_ethernet->isChecked());
        QCOMPARE(panel->cmb_device_num->currentText(), QString("0"));
    }

    // A port number is whole or it is 0: a value cut to 32 bits would show, and reach,
    // some other port. "{P}" stands for the live sensor's port.
    void port_numbers_out_of_range_read_as_zero_data()
    {
        QTest::addColumn<QString>("port_text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("outcome"); // empty: not connected
        QTest::newRow("the sensor's port") << "{P}" << "{P}" << "Success";
        QTest::newRow("2^32 + port") << "{2^32+P}" << "0" << "Fail";
        QTest::newRow("65536 + port") << "{65536+P}" << "0" << "Fail";
        QTest::newRow("11 digits") << "99999999999" << "0" << "Fail";
        QTest::newRow("negative") << "-{P}" << "0" << "";
        QTest::newRow("zero") << "0" << "0" << "";
        QTest::newRow("trailing letters") << "{P}ab" << "0" << "";
        QTest::newRow("highest") << "65535" << "65535" << "";
        QTest::newRow("lowest") << "1" << "1" << "";
    }

    void port_numbers_out_of_range_read_as_zero()
    {
        QFETCH(QString, port_text);
        QFETCH(QString, shown);
        QFETCH(QString, outcome);
        vyr_sim::Simulator sensor;
        QVERIFY(sensor.start_tcp(0));
        const qlonglong port = sensor.tcp_port();
        const auto fill = [port](QString text) {
            return text.replace("{2^32+P}", QString::number((qlonglong(1) << 32) + port))
                .replace("{65536+P}", QString::number(65536 + port))
                .replace("{P}", QString::number(port));
        };

        Scoped_working_directory folder;
        QVERIFY(write_bytes("[General]\nip_address=127.0.0.1\nport_num=" +
                            fill(port_text).toLatin1() + "\n"));
        MainWindow window;
        auto* panel = window.findChild<QVyr_connector*>();
        QCOMPARE(panel->cmb_device_num->currentText(), fill(shown));
        if (!outcome.isEmpty()) {
            QTest::mouseClick(panel->btn_connect, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(window.findChild<QStatusBar*>()->currentMessage(),
                                      "Connect : " + outcome, 10000);
            QCOMPARE(sensor.connections_accepted(), outcome == "Success" ? 1 : 0);
        }
    }

    void an_enormous_file_gives_the_defaults()
    {
        Scoped_working_directory folder;
        QByteArray lines;
        for (int i = 0; i < 100000; ++i) {
            lines += "key" + QByteArray::number(i) + "=" + QByteArray(100, 'x') + "\n";
        }
        QVERIFY(write_bytes(lines)); // about 11 MB
        {
            MainWindow window;
            verify_defaults(window);
        }
        QCOMPARE(QFileInfo(settings_file).size(), qint64(lines.size())); // not ours: left alone
    }

    // Neither may hold the start: a pipe without a writer, a device without an end.
    void a_pipe_or_a_device_in_place_of_the_file_gives_the_defaults()
    {
        Scoped_working_directory folder;
        QVERIFY(mkfifo(settings_file, 0600) == 0);
        {
            MainWindow window;
            verify_defaults(window);
        }
        QVERIFY(QDir().remove(settings_file));
        QVERIFY(QFile::link("/dev/zero", settings_file));
        MainWindow window;
        verify_defaults(window);
    }

    void an_unreadable_file_gives_the_defaults_and_is_left_alone()
    {
        Scoped_working_directory folder;
        // A folder in the file's place cannot be read even by the superuser.
        QVERIFY(QDir().mkdir(settings_file));
        {
            MainWindow window;
            verify_defaults(window);
        }
        QVERIFY(QFileInfo(settings_file).isDir());
        if (geteuid() != 0) {
            QVERIFY(QDir().rmdir(settings_file));
            QVERIFY(write_bytes("[General]\nip_address=127.0.0.9\n"));
            QVERIFY(QFile::setPermissions(settings_file, QFileDevice::Permissions()));
            MainWindow window;
            verify_defaults(window);
        }
    }

    void a_working_folder_that_cannot_be_written_still_starts_and_ends()
    {
        Scoped_working_directory folder;
        QVERIFY(QDir().mkdir("gone"));
        QVERIFY(QDir::setCurrent("gone"));
        QVERIFY(QDir(folder.path()).rmdir("gone")); // the process now sits in a removed folder
        {
            MainWindow window;
            verify_defaults(window);
        }
        QVERIFY(!QFileInfo::exists(folder.path() + "/gone"));
        QVERIFY(!QFileInfo::exists(folder.path() + "/" + settings_file));
    }
};

QTEST_MAIN(Hostile_settings_test)
#include "hostile_settings_test.moc"
