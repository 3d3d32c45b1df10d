#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "heater_setter.h"
#include "panel_rig.h"

class Heater_setter_test : public QObject
{
    Q_OBJECT

private:
    using Rig = Panel_rig<QVyr_heater_setter>;

private slots:
    void form_matches_the_layout()
    {
        Sensor_session session;
        QVyr_heater_setter panel(session.driver);
        QCOMPARE(panel.objectName(), QString("QVyr_heater_setter"));
        QCOMPARE(panel.size(), QSize(262, 41));
        QCOMPARE(panel.windowTitle(), QString("MainWindow"));
        QWidget* central = static_cast<QMainWindow&>(panel).centralWidget();
        QCOMPARE(central->objectName(), QString("centralWidget"));
        QCOMPARE(central->layout()->objectName(), QString("horizontalLayout"));
        QCOMPARE(central->layout()->spacing(), 6);
        QCOMPARE(central->layout()->contentsMargins(), QMargins(11, 11, 11, 11));
        QStringList order;
        for (int i = 0; i < central->layout()->count(); ++i) {
            order << central->layout()->itemAt(i)->widget()->objectName();
        }
        QCOMPARE(order, QStringList({"label", "btn_heater_on", "btn_heater_off"}));
        QCOMPARE(panel.findChild<QLabel*>("label")->text(), QString("Heater Function"));
        QCOMPARE(panel.findChild<QPushButton*>("btn_heater_on")->text(), QString("Activate"));
        QCOMPARE(panel.findChild<QPushButton*>("btn_heater_off")->text(), QString("Inactivate"));
        QVERIFY(!panel.findChild<QPushButton*>("btn_heater_on")->isCheckable());
        QVERIFY(!panel.findChild<QPushButton*>("btn_heater_off")->isCheckable());
    }

    void activate_and_inactivate_report_success()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.press("btn_heater_on");
        QCOMPARE(rig.recorder.events, QStringList({"status:Set heater[Activate] : ",
                                                   "status:Set heater[Activate] : success"}));
        QVERIFY(rig.session.sim.heater());
        rig.recorder.events.clear();
        rig.press("btn_heater_off");
        QCOMPARE(rig.recorder.events, QStringList({"status:Set heater[Inactivate] : ",
                                                   "status:Set heater[Inactivate] : success"}));
        QVERIFY(!rig.session.sim.heater());
        QCOMPARE(rig.session.commands_after(2), std::vector<std::string>({"%AH1", "%AH0"}));
    }

    void repeated_press_sends_again()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.press("btn_heater_on");
        rig.press("btn_heater_on");
        QCOMPARE(rig.session.commands_after(2), std::vector<std::string>({"%AH1", "%AH1"}));
        QCOMPARE(rig.recorder.events.size(), 4);
        QCOMPARE(rig.recorder.last(), QString("status:Set heater[Activate] : success"));
    }

    void caption_is_read_at_press_time()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.panel.findChild<QPushButton*>("btn_heater_off")->setText("Aus");
        rig.press("btn_heater_off");
        QCOMPARE(rig.recorder.last(), QString("status:Set heater[Aus] : success"));
    }

    void wrong_status_reports_fail()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_fault(vyr_sim::Fault::status_checksum);
        rig.press("btn_heater_on");
        QCOMPARE(rig.recorder.events, QStringList({"status:Set heater[Activate] : ",
                                                   "status:Set heater[Activate] : fail"}));
    }

    void no_answer_reports_fail_after_two_seconds()
    {
        Rig rig;
        QVERIFY(rig.session.connect());
        rig.session.sim.set_fault(vyr_sim::Fault::no_answer);
        rig.press("btn_heater_off");
        QCOMPARE(rig.recorder.last(), QString("status:Set heater[Inactivate] : fail"));
        QVERIFY2(rig.recorder.last_ms() >= 2000 && rig.recorder.last_ms() < 2600,
                 qPrintable(QString::number(rig.recorder.last_ms())));
        QCOMPARE(rig.session.commands_after(1), std::vector<std::string>({"%AH0"}));
    }
};

QTEST_MAIN(Heater_setter_test)
#include "heater_setter_test.moc"
