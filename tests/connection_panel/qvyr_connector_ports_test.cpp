#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settings_folder.h"
#include "qvyr_connector.h"
#include "serial_ports.h"

// This executable is linked with --wrap=find_serial_ports, so the driver's port listing
// runs over a tree the test builds instead of the machine's own.
namespace {

QByteArray fake_sysfs_root;
QByteArray fake_dev_root;

// A sysfs and /dev pair that the enumeration accepts as ports; removed with the object.
class Fake_port_tree
{
public:
    Fake_port_tree()
    {
        QDir(folder.path()).mkpath("sys/class/tty");
        QDir(folder.path()).mkpath("dev");
        fake_sysfs_root = (folder.path() + "/sys").toLocal8Bit();
        fake_dev_root = (folder.path() + "/dev").toLocal8Bit();
    }
    ~Fake_port_tree()
    {
        fake_sysfs_root.clear();
        fake_dev_root.clear();
    }

    void add_port(const QString& name)
    {
        QDir(folder.path()).mkpath("sys/class/tty/" + name + "/device");
        touch(folder.path() + "/dev/" + name);
    }

private:
    static void touch(const QString& path)
    {
        QFile file(path);
        (void)file.open(QIODevice::WriteOnly);
    }

    QTemporaryDir folder;
};

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

extern "C" int32_t __real_find_serial_ports(void);
extern "C" int32_t __wrap_find_serial_ports(void)
{
    if (fake_sysfs_root.isEmpty())
        return __real_find_serial_ports();
    return find_serial_ports_in(fake_sysfs_root.constData(), fake_dev_root.constData());
}

// The serial device list: scan order, remembered device, refresh.
class Qvyr_connector_ports_test : public QObject
{
    Q_OBJECT

private slots:
    void lists_ports_in_scan_order_with_remembered_device_selected()
    {
        Fake_port_tree tree;
        tree.add_port("ttyUSB0");
        tree.add_port("ttyS10");
        tree.add_port("ttyS2");
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "device_name=ttyUSB0"}));
        QVyr_connector panel;
        QCOMPARE(items(panel.cmb_device), QStringList({"ttyS2", "ttyS10", "ttyUSB0"}));
        QCOMPARE(panel.cmb_device->currentText(), QString("ttyUSB0"));
    }

    void missing_or_differently_cased_device_selects_the_first_port()
    {
        Fake_port_tree tree;
        tree.add_port("ttyS1");
        tree.add_port("ttyUSB0");
        for (const char* remembered : {"ttyusb0", "ttyUSB", "COM3"}) {
            Scoped_working_directory folder;
            QVERIFY(
                write_settings_file({"is_ethernet=false", QString("device_name=") + remembered}));
            QVyr_connector panel;
            QCOMPARE(panel.cmb_device->currentIndex(), 0);
            QCOMPARE(panel.cmb_device->currentText(), QString("ttyS1"));
        }
    }

    void without_ports_nothing_is_selected_and_the_next_start_takes_the_first()
    {
        Fake_port_tree tree;
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "device_name=ttyUSB0"}));
        {
            QVyr_connector panel;
            QCOMPARE(panel.cmb_device->count(), 0);
            QCOMPARE(panel.cmb_device->currentIndex(), -1);
        }
        QCOMPARE(settings_value("device_name"), QString(""));

        tree.add_port("ttyS4");
        tree.add_port("ttyUSB0");
        QVyr_connector panel;
        QCOMPARE(panel.cmb_device->currentText(), QString("ttyS4"));
    }

    void refresh_goes_back_to_the_remembered_device_and_finds_new_ports()
    {
        Fake_port_tree tree;
        tree.add_port("ttyS1");
        tree.add_port("ttyUSB0");
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "device_name=ttyUSB0"}));
        QVyr_connector panel;
        panel.cmb_device->setCurrentIndex(0);
        tree.add_port("ttyS2");

        QTest::mouseClick(panel.btn_refresh, Qt::LeftButton);
        QCOMPARE(items(panel.cmb_device), QStringList({"ttyS1", "ttyS2", "ttyUSB0"}));
        QCOMPARE(panel.cmb_device->currentText(), QString("ttyUSB0"));
    }

    void device_chosen_before_leaving_serial_mode_is_remembered()
    {
        Fake_port_tree tree;
        tree.add_port("ttyS1");
        tree.add_port("ttyUSB0");
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "device_name=ttyUSB0"}));
        {
            QVyr_connector panel;
            panel.cmb_device->setCurrentIndex(0);
            panel.rdb_ethernet->setChecked(true);
            panel.rdb_serial->setChecked(true);
            QCOMPARE(panel.cmb_device->currentText(), QString("ttyS1"));
            panel.rdb_ethernet->setChecked(true);
        }
        QCOMPARE(settings_value("device_name"), QString("ttyS1"));
    }
};

QTEST_MAIN(Qvyr_connector_ports_test)
#include "qvyr_connector_ports_test.moc"
