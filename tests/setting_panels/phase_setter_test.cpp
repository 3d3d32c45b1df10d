#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "heater_setter.h"
#include "panel_rig.h"
#include "phase_setter.h"

class Phase_setter_test : public QObject
{
    Q_OBJECT

private:
    struct Rig : Panel_rig<QVyr_phase_setter>
    {
        QSpinBox* spin = panel.findChild<QSpinBox*>("spn_phase_value");
    };

private slots:
    void form_matches_the_layout()
    {
        Sensor_session session;
        QVyr_phase_setter panel(session.driver);
        QCOMPARE(panel.objectName(), QString("QVyr_phase_setter"));
        QCOMPARE(panel.size(), QSize(299, 41));
        auto* grid =
            qobject_cast<QGridLayout*>(static_cast<QMainWindow&>(panel).centralWidget()->layout());
        QVERIFY(grid);
        QCOMPARE(grid->objectName(), QString("gridLayout"));
        const char* cells[] = {"label", "spn_phase_value", "label_2", "btn_get", "btn_update"};
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(grid->itemAtPosition(0, column)->widget()->objectName(),
                     QString(cells[column]));
        }
        QCOMPARE(panel.findChild<QLabel*>("label")->text(), QString("Phase"));
        QCOMPARE(panel.findChild<QLabel*>("label")->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(panel.findChild<QLabel*>("label_2")->text(), QString("[deg]"));
        QCOMPARE(panel.findChild<QPushButton*>("btn_get")->text(), QString("Get Phase"));
        QCOMPARE(panel.findChild<QPushButton*>("btn_update")->text(), QString("Set Phase"));
        auto* spin = panel.findChild<QSpinBox*>("spn_phase_value");
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), 359);
        QCOMPARE(spin->minimumSize(), QSize(50, 0));
    }

    void focus_moves_from_spin_box_to_set_then_get()
    {
        Sensor_session session;
        QVyr_phase_setter panel(session.driver);
        auto* spin = panel.findChild<QSpinBox*>("spn_phase_value");
        QCOMPARE(spin->nextInFocusChain()->objectName(), QString("qt_spinbox_lineedit"));
        QWidget* after = spin->nextInFocusChain()->nextInFocusChain();
        while (after->focusPolicy() == Qt::NoFocus) {
            after = after->nextInFocusChain();
        }
        QCOMPARE(after->objectName(), QString("btn_update"));
        after = after->nextInFocusChain();
        while (after->focusPolicy() == Qt::NoFocus) {
            after = after->nextInFocusChain();
        }
        QCOMPARE(after->objectName(), QString("btn_get"));
    }

    void set_sends_three_digits_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("command");
        QTest::newRow("7") << 7 << "%SP007";
        QTest::newRow("0") << 0 << "%SP000";
        QTest::newRow("359") << 359 << "%SP359";
    }
    void set_sends_three_digits()
    {
        QFETCH(int, value);
        QFETCH(QString, command);
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.spin->setValue(value);
        rig.press("btn_update");
        const QString head = QString("Phase change[%1] : ").arg(value);
        QCOMPARE(rig.recorder.events,
                 QStringList({"status:" + head, "status:" + head + "success"}));
        QCOMPARE(rig.session.commands_after(1), std::vector<std::string>({command.toStdString()}));
        QCOMPARE(rig.session.sim.phase(), value);
        QCOMPARE(rig.spin->value(), value);
    }

    void set_without_answer_fails_and_keeps_value()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_fault(vyr_sim::Fault::no_answer);
        rig.spin->setValue(45);
        rig.press("btn_update");
        QCOMPARE(rig.recorder.last(), QString("status:Phase change[45] : fail"));
        QCOMPARE(rig.spin->value(), 45);
        QVERIFY2(rig.recorder.last_ms() >= 1000 && rig.recorder.last_ms() < 1600,
                 qPrintable(QString::number(rig.recorder.last_ms())));
    }

    void get_reads_the_sensor_phase()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_phase(123);
        rig.press("btn_get");
        QCOMPARE(rig.recorder.events,
                 QStringList({"status:Current Phase get : ", "status:Current Phase get : 123"}));
        QCOMPARE(rig.spin->value(), 123);
        QCOMPARE(rig.session.commands_after(1), std::vector<std::string>({"%PG"}));
    }

    // The heater reply comes after its time-out, while the phase reply is awaited.
    void answers_stay_with_their_commands_after_a_late_reply()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_phase(123);
        QVyr_heater_setter heater(rig.session.driver);
        QString heater_status;
        QObject::connect(&heater, &QVyr_heater_setter::report_status,
                         [&](const QString& status) { heater_status = status; });
        rig.session.sim.set_fault_command("%AH");
        rig.session.sim.set_fault_delay_ms(2500);
        rig.session.sim.set_fault(vyr_sim::Fault::delay);
        QTest::mouseClick(heater.findChild<QPushButton*>("btn_heater_on"), Qt::LeftButton);
        QVERIFY(Rig::settle(rig.session.driver));
        QCOMPARE(heater_status, QString("Set heater[Activate] : fail"));

        rig.press("btn_get");
        QCOMPARE(rig.recorder.last(), QString("status:Current Phase get : 123"));
        rig.press("btn_update");
        QCOMPARE(rig.recorder.last(), QString("status:Phase change[123] : success"));
        rig.session.sim.set_phase(7);
        rig.press("btn_get");
        QCOMPARE(rig.recorder.last(), QString("status:Current Phase get : 7"));
        QCOMPARE(rig.session.commands_after(4),
                 std::vector<std::string>({"%AH1", "%PG", "%SP123", "%PG"}));
    }

    // A phase the sensor did not report is a failed read, not a phase of 0.
    void get_failures_leave_the_spin_box_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("fault");
        QTest::newRow("wrong status") << 123 << int(vyr_sim::Fault::status_checksum);
        QTest::newRow("no answer") << 123 << int(vyr_sim::Fault::no_answer);
        // A link closed right after the status ends the reply as an empty line would.
        QTest::newRow("empty data line") << 123 << int(vyr_sim::Fault::close_after_status);
        QTest::newRow("sign in the digits") << -5 << -1;
        QTest::newRow("above 359") << 400 << -1;
    }
    void get_failures_leave_the_spin_box()
    {
        QFETCH(int, phase);
        QFETCH(int, fault);
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_phase(phase);
        if (fault >= 0) {
            rig.session.sim.set_fault(vyr_sim::Fault(fault));
        }
        rig.spin->setValue(17);
        rig.press("btn_get");
        QCOMPARE(rig.recorder.events,
                 QStringList({"status:Current Phase get : ", "status:Current Phase get : fail"}));
        QCOMPARE(rig.spin->value(), 17);
        QVERIFY(rig.recorder.last_ms() < 1600);
    }
};

QTEST_MAIN(Phase_setter_test)
#include "phase_setter_test.moc"
