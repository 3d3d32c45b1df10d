#include <QGridLayout>
#include <QTest>

#include "settings_folder.h"
#include "qvyr_connector.h"

namespace {

struct Grid_place
{
    const char* name;
    int row;
    int column;
};

} // namespace

// The form, the mode switch and the address hand-over.
class Qvyr_connector_form_test : public QObject
{
    Q_OBJECT

private slots:
    void form_has_its_widgets_places_and_texts()
    {
        Scoped_working_directory folder;
        QVyr_connector panel;
        QCOMPARE(panel.objectName(), QString("QVyr_connector"));
        QCOMPARE(panel.size(), QSize(400, 70));
        QCOMPARE(panel.minimumSize(), QSize(400, 0));
        QCOMPARE(panel.windowTitle(), QString("Qvyr_connector"));
        QVERIFY(panel.qt_metacast("Ui::QVyr_connector") != nullptr);
        QCOMPARE(panel.QMainWindow::centralWidget()->objectName(), QString("centralWidget"));

        auto* grid = qobject_cast<QGridLayout*>(panel.QMainWindow::centralWidget()->layout());
        QVERIFY(grid);
        QCOMPARE(grid->objectName(), QString("gridLayout"));
        QCOMPARE(grid->spacing(), 6);
        QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
        const Grid_place places[] = {{"rdb_ethernet", 1, 0},   {"label", 1, 1},
                                     {"cmb_device", 1, 2},     {"btn_refresh", 1, 3},
                                     {"rdb_serial", 3, 0},     {"label_2", 3, 1},
                                     {"cmb_device_num", 3, 2}, {"btn_connect", 3, 3}};
        for (const Grid_place& place : places) {
            QWidget* widget = panel.findChild<QWidget*>(place.name);
            QVERIFY2(widget, place.name);
            int row = -1, column = -1, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(widget), &row, &column, &rows, &columns);
            QCOMPARE(row, place.row);
            QCOMPARE(column, place.column);
            QCOMPARE(rows, 1);
            QCOMPARE(columns, 1);
        }

        QCOMPARE(panel.rdb_ethernet->text(), QString("Ethernet"));
        QCOMPARE(panel.rdb_serial->text(), QString("Serial"));
        QCOMPARE(panel.btn_refresh->text(), QString("Reflesh"));
        QCOMPARE(panel.btn_refresh->maximumSize(), QSize(50, 16777215));
        QCOMPARE(panel.cmb_device->minimumWidth(), 150);
        QVERIFY(panel.btn_connect->isCheckable());
        QVERIFY(panel.rdb_ethernet->isCheckable());

        // Only the six named widgets count; editors inside the combo boxes may sit between.
        QStringList order;
        QWidget* widget = panel.rdb_ethernet;
        do {
            const QString name = widget->objectName();
            if (name.startsWith("rdb_") || name.startsWith("cmb_") || name.startsWith("btn_"))
                if (!order.contains(name))
                    order << name;
            widget = widget->nextInFocusChain();
        } while (widget != panel.rdb_ethernet);
        QCOMPARE(order, QStringList({"rdb_ethernet", "rdb_serial", "cmb_device", "cmb_device_num",
                                     "btn_refresh", "btn_connect"}));
    }

    void mode_switch_keeps_edits_both_ways()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"baudrate_index=1"}));
        QVyr_connector panel;
        panel.cmb_device->setEditText("127.0.0.7");
        panel.cmb_device_num->setEditText("30303");

        QTest::mouseClick(panel.rdb_serial, Qt::LeftButton);
        QVERIFY(panel.rdb_serial->isChecked());
        QCOMPARE(panel.label->text(), QString("Device"));
        QCOMPARE(panel.label_2->text(), QString("Baudrate"));
        QVERIFY(!panel.cmb_device->isEditable());
        QVERIFY(!panel.cmb_device_num->isEditable());
        QVERIFY(!panel.btn_refresh->isHidden());
        QStringList rates;
        for (int i = 0; i < panel.cmb_device_num->count(); ++i)
            rates << panel.cmb_device_num->itemText(i);
        QCOMPARE(rates, QStringList({"115200", "38400", "19200"}));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("38400"));
        panel.cmb_device_num->setCurrentIndex(2);

        QTest::mouseClick(panel.rdb_ethernet, Qt::LeftButton);
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.7"));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("30303"));
        QCOMPARE(panel.label->text(), QString("IP Address"));
        QCOMPARE(panel.label_2->text(), QString("Port No."));
        QVERIFY(panel.cmb_device->isEditable());
        QVERIFY(panel.btn_refresh->isHidden());

        QTest::mouseClick(panel.rdb_serial, Qt::LeftButton);
        QCOMPARE(panel.cmb_device_num->currentText(), QString("19200"));
    }

    void set_ip_address_in_ethernet_mode_replaces_the_fields()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"port_num=4000"}));
        QVyr_connector panel;
        panel.cmb_device_num->setEditText("5000");
        panel.set_ip_address("127.0.0.5");
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.5"));
        // The fields are refilled from the remembered values, so the edit is gone.
        QCOMPARE(panel.cmb_device_num->currentText(), QString("4000"));
        QVERIFY(panel.cmb_device->isEditable());
    }

    void set_ip_address_in_serial_mode_shows_on_next_switch()
    {
        Scoped_working_directory folder;
        QVERIFY(write_settings_file({"is_ethernet=false", "baudrate_index=2"}));
        QVyr_connector panel;
        panel.cmb_device_num->setCurrentIndex(0);
        panel.set_ip_address("127.0.0.6");
        QVERIFY(panel.rdb_serial->isChecked());
        QCOMPARE(panel.label->text(), QString("Device"));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("19200"));
        QVERIFY(!panel.cmb_device->isEditable());

        panel.rdb_ethernet->setChecked(true);
        QCOMPARE(panel.cmb_device->currentText(), QString("127.0.0.6"));
        QCOMPARE(panel.cmb_device_num->currentText(), QString("10940"));
    }
};

QTEST_MAIN(Qvyr_connector_form_test)
#include "qvyr_connector_form_test.moc"
