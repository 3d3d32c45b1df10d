#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "driver_owner.h"
#include "ip_address_widget.h"
#include "ip_changer.h"
#include "sensor_session.h"
#include "status_recorder.h"

namespace {

const char compact_defaults[] = "$IP192168000011255255255000192168000001";
const char dotted_defaults[] = "$IP192.168.000.011 255.255.255.000 192.168.000.001";
const char head_defaults[] = "IP Address change[192.168.0.11] : ";

} // namespace

class Ip_changer_test : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        Sensor_session session;
        QVyr_ip_changer panel{session.driver};
        Status_recorder recorder;
        int reboots_at_ip_changed = -1;

        Rig()
        {
            recorder.watch(&panel);
            recorder.watch_ip(&panel);
            QObject::connect(&panel, &QVyr_ip_changer::ip_changed, &panel,
                             [this] { reboots_at_ip_changed = session.sim.reboot_count(); });
            panel.show();
        }
        Ip_address_widget* editor(int index)
        {
            return panel.findChildren<Ip_address_widget*>().at(index);
        }
        QLineEdit* field(int editor_index, int field_index)
        {
            return editor(editor_index)
                ->findChild<QLineEdit*>(QString("address_%1_edit_").arg(field_index));
        }
        void press()
        {
            recorder.start();
            QTest::mouseClick(panel.findChild<QPushButton*>("btn_change_ip_address"),
                              Qt::LeftButton);
            const std::shared_ptr<Driver_owner> owner = Driver_owner::of(session.driver);
            (void)QTest::qWaitFor([&] { return !owner->busy(); }, 10000);
        }
    };

private slots:
    void form_places_editors_beside_their_labels()
    {
        Sensor_session session;
        QVyr_ip_changer unshown(session.driver);
        QCOMPARE(unshown.objectName(), QString("QVyr_ip_changer"));
        QCOMPARE(unshown.size(), QSize(233, 95));
        Rig rig;
        auto* grid = qobject_cast<QGridLayout*>(
            static_cast<QMainWindow&>(rig.panel).centralWidget()->layout());
        QVERIFY(grid);
        const char* labels[] = {"IP Address", "Sub Net Mask", "Default Gateway"};
        for (int row = 0; row < 3; ++row) {
            auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(row, 0)->widget());
            QVERIFY(label);
            QCOMPARE(label->text(), QString(labels[row]));
            QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        }
        QCOMPARE(grid->itemAtPosition(1, 2)->widget()->objectName(),
                 QString("btn_change_ip_address"));
        QLayout* column = grid->itemAtPosition(0, 1)->layout();
        QCOMPARE(column->objectName(), QString("vlo_address"));
        QCOMPARE(grid->itemAtPosition(2, 1)->layout(), column);
        QCOMPARE(column->count(), 3);
        const QStringList defaults = {"192.168.0.11", "255.255.255.0", "192.168.0.1"};
        for (int i = 0; i < 3; ++i) {
            auto* editor = qobject_cast<Ip_address_widget*>(column->itemAt(i)->widget());
            QVERIFY(editor);
            QCOMPARE(editor, rig.editor(i));
            QCOMPARE(editor->address(), defaults.at(i));
        }
    }

    void compact_form_accepted_sends_one_command_and_reboots()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_ip_forms_accepted(vyr_sim::Ip_forms::compact);
        rig.press();
        QCOMPARE(rig.recorder.events,
                 QStringList({QString("status:") + head_defaults, "ip_changed:192.168.0.11",
                              QString("status:") + head_defaults + "success"}));
        QCOMPARE(rig.reboots_at_ip_changed, 1);
        const std::vector<std::string> commands = rig.session.commands();
        QVERIFY(!commands.empty());
        QCOMPARE(commands.front(), std::string(compact_defaults));
        QCOMPARE(commands.front().size() + 1, size_t(40));
        QCOMPARE(rig.session.sim.ip_settings().address, std::string("192.168.0.11"));
        // The reboot closes the link; the sensor notices on its own thread.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.sim.client_connected(), 2000);
    }

    void dotted_form_follows_when_compact_is_refused()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_ip_forms_accepted(vyr_sim::Ip_forms::dotted);
        rig.press();
        const std::vector<std::string> commands = rig.session.commands();
        QVERIFY(commands.size() >= 2);
        QCOMPARE(commands.at(0), std::string(compact_defaults));
        QCOMPARE(commands.at(1), std::string(dotted_defaults));
        QCOMPARE(commands.at(1).size() + 1, size_t(51));
        QCOMPARE(rig.reboots_at_ip_changed, 1);
        QCOMPARE(rig.recorder.last(), QString("status:") + head_defaults + "success");
    }

    void refused_both_forms_fail_without_reboot()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_ip_forms_accepted(vyr_sim::Ip_forms::none);
        rig.press();
        QCOMPARE(rig.recorder.events, QStringList({QString("status:") + head_defaults,
                                                   QString("status:") + head_defaults + "fail"}));
        QCOMPARE(rig.session.commands_after(2),
                 std::vector<std::string>({compact_defaults, dotted_defaults}));
        QCOMPARE(rig.session.sim.reboot_count(), 0);
        QVERIFY(rig.session.driver.is_open());
        QCOMPARE(rig.session.sim.ip_settings().address, std::string("192.168.0.10"));
    }

    // The compact form is taken but answered after its time-out, while the dotted form,
    // which this sensor refuses, is awaited.
    void late_answer_to_the_compact_form_still_counts()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_ip_forms_accepted(vyr_sim::Ip_forms::compact);
        rig.session.sim.set_fault_command("$IP192168");
        rig.session.sim.set_fault_delay_ms(1500);
        rig.session.sim.set_fault(vyr_sim::Fault::delay);
        rig.press();
        QCOMPARE(rig.recorder.last(), QString("status:") + head_defaults + "success");
        QCOMPARE(rig.reboots_at_ip_changed, 1);
        const std::vector<std::string> commands = rig.session.commands_after(4);
        QCOMPARE(commands, std::vector<std::string>({compact_defaults, dotted_defaults, "RB", "RB"}));
    }

    // Until the sensor restarts the new address is not in effect.
    void reboot_that_does_not_go_through_fails_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("not answered") << int(vyr_sim::Fault::no_answer);
        QTest::newRow("refused") << int(vyr_sim::Fault::refused_status);
    }
    void reboot_that_does_not_go_through_fails()
    {
        QFETCH(int, fault);
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_fault_command("RB");
        rig.session.sim.set_fault(vyr_sim::Fault(fault));
        rig.press();
        QCOMPARE(rig.recorder.events, QStringList({QString("status:") + head_defaults,
                                                   QString("status:") + head_defaults + "fail"}));
        QCOMPARE(rig.session.sim.reboot_count(), 0);
        QVERIFY(rig.session.driver.is_open());
    }

    void emptied_and_short_fields_are_padded_on_the_wire_only()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_ip_forms_accepted(vyr_sim::Ip_forms::dotted);
        rig.field(0, 0)->setText("127");
        rig.field(0, 1)->setText("000");
        rig.field(0, 2)->clear();
        rig.field(0, 3)->setText("9");
        rig.field(1, 3)->setText("010");
        rig.press();
        QCOMPARE(rig.recorder.events,
                 QStringList({"status:IP Address change[127.000.0.9] : ", "ip_changed:127.000.0.9",
                              "status:IP Address change[127.000.0.9] : success"}));
        const std::vector<std::string> commands = rig.session.commands();
        QVERIFY(commands.size() >= 2);
        QCOMPARE(commands.at(0), std::string("$IP127000000009255255255010192168000001"));
        QCOMPARE(commands.at(1), std::string("$IP127.000.000.009 255.255.255.010 192.168.000.001"));
    }
};

QTEST_MAIN(Ip_changer_test)
#include "ip_changer_test.moc"
