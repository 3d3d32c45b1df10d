#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "find_dialog.h"
#include "qvyr_connector.h"
#include "sensor_network.h"
#include "settings_folder.h"

namespace {

template <class T> T* part(Find_dialog& dialog, const char* name)
{
    return dialog.findChild<T*>(name);
}

// Searches only the given range; never the computer's own networks.
void set_range(Find_dialog& dialog, const std::string& range, int port)
{
    part<QLineEdit>(dialog, "edt_ranges")->setText(QString::fromStdString(range));
    part<QSpinBox>(dialog, "spn_port")->setValue(port);
    part<QCheckBox>(dialog, "chk_serial")->setChecked(false);
}

QStringList column(QTableWidget* table, int index)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, index)->text();
    texts.sort();
    return texts;
}

} // namespace

class Find_dialog_test : public QObject
{
    Q_OBJECT

private slots:
    void finds_two_sensors_and_fills_the_panel_with_the_chosen_one()
    {
        Sensor_network net(81, {7, 42}, {9});
        Scoped_working_directory folder;
        QVyr_connector panel;
        Find_dialog dialog;
        connect(&dialog, &Find_dialog::target_chosen, &panel, &QVyr_connector::use_target);
        QSignalSpy finished(&dialog, &Find_dialog::search_finished);
        set_range(dialog, net.range(), net.port());
        dialog.show();

        QTest::mouseClick(part<QPushButton>(dialog, "btn_search"), Qt::LeftButton);
        QVERIFY(dialog.searching());
        QVERIFY(!part<QPushButton>(dialog, "btn_search")->isEnabled());
        QVERIFY(finished.wait(10000));
        auto* table = part<QTableWidget>(dialog, "tbl_sensors");
        QCOMPARE(column(table, 0),
                 QStringList({QString("%1:%2").arg(net.address(42).c_str()).arg(net.port()),
                              QString("%1:%2").arg(net.address(7).c_str()).arg(net.port())}));
        QCOMPARE(column(table, 2), QStringList({Sensor_network::serial_of(7).c_str(),
                                                Sensor_network::serial_of(42).c_str()}));
        QVERIFY(!column(table, 1).first().isEmpty());

        int row = 0;
        while (!table->item(row, 0)->text().startsWith(net.address(42).c_str()))
            ++row;
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(row, 1)).center());
        QTest::mouseClick(part<QPushButton>(dialog, "btn_use"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QVERIFY(panel.rdb_ethernet->isChecked());
        QCOMPARE(panel.cmb_device->currentText(), QString::fromStdString(net.address(42)));
        QCOMPARE(panel.cmb_device_num->currentText(), QString::number(net.port()));
    }

    // A serial sensor comes in as its device and rate, and the address typed before stays
    // for the way back to Ethernet.
    void a_serial_target_switches_the_panel_and_keeps_the_address()
    {
        Scoped_working_directory folder;
        QVyr_connector panel;
        panel.use_target(true, "127.0.0.9", 10941);
        panel.use_target(false, "/dev/pts/77", 38400);
        QVERIFY(panel.rdb_serial->isChecked());
        QCOMPARE(panel.cmb_device->currentText(), QString("/dev/pts/77"));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("38400"));
        panel.rdb_ethernet->setChecked(true);
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.9"));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("10941"));
    }

    void cancel_and_close_return_at_once()
    {
        // Listeners that never answer keep each address waiting for the whole answer time.
        Sensor_network net(82, {1}, {2, 3, 4, 5, 6, 7, 8, 9});
        Find_dialog dialog;
        QSignalSpy finished(&dialog, &Find_dialog::search_finished);
        set_range(dialog, net.range(), net.port());
        dialog.show();
        dialog.start_search();
        QTest::qWait(50);
        QVERIFY(dialog.searching());
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(part<QPushButton>(dialog, "btn_cancel"), Qt::LeftButton);
        QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(finished.count() == 1 || finished.wait(1000));
        QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!dialog.searching());

        // Closing mid-search stops and waits for the thread, within the search's short bound.
        dialog.start_search();
        QVERIFY(dialog.searching());
        clock.restart();
        dialog.reject();
        QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!dialog.searching());
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }
};

QTEST_MAIN(Find_dialog_test)
#include "find_dialog_test.moc"
