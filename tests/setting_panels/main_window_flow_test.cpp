#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QVBoxLayout>

#include "driver_owner.h"
#include "heater_setter.h"
#include "ip_address_widget.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "main_window.h"
#include "polar_view.h"
#include "settings_folder.h"
#include "phase_setter.h"
#include "received_lines.h"
#include "qvyr_connector.h"
#include "simulator.h"

// The setting panels inside the whole window, driven with clicks and keys.
class Main_window_flow_test : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        vyr_sim::Simulator sensor;
        Scoped_working_directory folder;
        QScopedPointer<MainWindow> window;
        qint64 longest_ms = 0;

        // The saved connection points at the simulator, so nothing else is contacted.
        bool start()
        {
            if (!sensor.start_tcp(0) ||
                !write_settings_file({"is_ethernet=true", "ip_address=127.0.0.1",
                                      QString("port_num=%1").arg(sensor.tcp_port())})) {
                return false;
            }
            window.reset(new MainWindow);
            window->show();
            return true;
        }
        template <class T> T* find(const char* name = nullptr)
        {
            return name ? window->findChild<T*>(name) : window->findChild<T*>();
        }
        QString status() { return window->statusBar()->currentMessage(); }
        // Clicks and waits until the exchanges it started have answered, unless told not
        // to; longest_ms is then the time to the final status.
        void click(QWidget* button, bool until_answered = true)
        {
            QElapsedTimer blocked;
            blocked.start();
            QTest::mouseClick(button, Qt::LeftButton);
            if (until_answered) {
                settle();
            }
            longest_ms = qMax(longest_ms, blocked.elapsed());
        }
        void settle()
        {
            const auto owner = Driver_owner::of(find<QVyr_connector>()->driver());
            (void)QTest::qWaitFor([&] { return !owner->busy(); }, 10000);
        }
        void type(QWidget* field, const QString& text)
        {
            field->setFocus();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::keyClicks(field, text);
        }
        void expect_setting_panels_enabled(bool enabled)
        {
            QCOMPARE(find<QVyr_heater_setter>()->isEnabled(), enabled);
            QCOMPARE(find<QVyr_phase_setter>()->isEnabled(), enabled);
            QCOMPARE(find<QVyr_ip_changer>()->isEnabled(), enabled);
            QVERIFY(find<QVyr_connector>()->isEnabled());
        }
        std::vector<std::string> commands() { return command_texts(sensor); }

        Live_scan_window* live() { return find<Live_scan_window>(); }
        bool start_live_scan()
        {
            find<QAction>("actionLive_scan")->trigger();
            live()->findChild<QPushButton*>("btn_start")->click();
            return QTest::qWaitFor([this] { return live()->view()->scan().size() > 0; }, 5000);
        }
        QString live_status() { return live()->findChild<QLabel*>("lbl_status")->text(); }
    };

private slots:
    void column_order_stretch_and_alignment()
    {
        Rig rig;
        QVERIFY(rig.start());
        auto* column = rig.find<QVBoxLayout>("vlo_setting");
        QCOMPARE(column->count(), 7);
        QWidget* expected[] = {
            rig.find<QVyr_connector>(),    nullptr, rig.find<QVyr_heater_setter>(), nullptr,
            rig.find<QVyr_phase_setter>(), nullptr, rig.find<QVyr_ip_changer>()};
        for (int i = 0; i < 7; ++i) {
            QWidget* widget = column->itemAt(i)->widget();
            const bool panel = expected[i] != nullptr;
            if (panel) {
                QCOMPARE(widget, expected[i]);
            } else {
                auto* line = qobject_cast<QFrame*>(widget);
                QVERIFY(line);
                QCOMPARE(line->frameShape(), QFrame::HLine);
                QCOMPARE(line->frameShadow(), QFrame::Sunken);
            }
            const bool setting_panel = panel && i > 0;
            QCOMPARE(column->stretch(i), setting_panel ? 1 : 0);
            QCOMPARE(column->itemAt(i)->alignment(),
                     setting_panel ? Qt::Alignment(Qt::AlignRight) : Qt::Alignment());
        }
        rig.expect_setting_panels_enabled(false);
        QCOMPARE(rig.status(), QString("Start Application."));
    }

    void connect_heat_phase_and_new_address()
    {
        Rig rig;
        QVERIFY(rig.start());

        rig.click(rig.find<QPushButton>("btn_connect"));
        QCOMPARE(rig.status(), QString("Connect : Success"));
        rig.expect_setting_panels_enabled(true);
        rig.sensor.clear_received();

        rig.click(rig.find<QPushButton>("btn_heater_on"), false);
        // Nothing can start a second exchange while one runs.
        rig.expect_setting_panels_enabled(false);
        QVERIFY(!rig.find<QAction>("actionInformation")->isEnabled());
        rig.settle();
        QCOMPARE(rig.status(), QString("Set heater[Activate] : success"));
        QVERIFY(rig.sensor.heater());
        rig.expect_setting_panels_enabled(true);
        // The keyboard goes on from the button pressed, as it did before the wait.
        QCOMPARE(rig.window->focusWidget(), rig.find<QPushButton>("btn_heater_on"));

        rig.type(rig.find<QSpinBox>("spn_phase_value"), "7");
        rig.click(rig.find<QPushButton>("btn_update"));
        QCOMPARE(rig.status(), QString("Phase change[7] : success"));
        QCOMPARE(rig.sensor.phase(), 7);

        rig.sensor.set_phase(123);
        rig.click(rig.find<QPushButton>("btn_get"));
        QCOMPARE(rig.status(), QString("Current Phase get : 123"));
        QCOMPARE(rig.find<QSpinBox>("spn_phase_value")->value(), 123);

        // A loopback address, so that a later connect could not leave the machine.
        // The gateway inside its subnet, or nothing is sent.
        const auto editors = rig.find<QVyr_ip_changer>()->findChildren<Ip_address_widget*>();
        const char* octets[][4] = {{"127", "0", "0", "9"}, {"127", "0", "0", "1"}};
        const auto* note = rig.find<QLabel>("lbl_address_note");
        for (int i = 0; i < 8; ++i) {
            rig.type(editors.at(i < 4 ? 0 : 2)->findChild<QLineEdit*>(
                         QString("address_%1_edit_").arg(i % 4)),
                     octets[i / 4][i % 4]);
            if (i == 3) {
                // The default gateway 192.168.0.1 lies outside 127.0.0.0/24: refused, and why.
                rig.click(rig.find<QPushButton>("btn_change_ip_address"));
                QCOMPARE(rig.status(), QString("IP Address change[127.0.0.9] : fail"));
                QVERIFY2(note->text().contains("gateway"), qPrintable(note->text()));
            }
        }
        rig.click(rig.find<QPushButton>("btn_change_ip_address"));
        QCOMPARE(rig.status(), QString("IP Address change[127.0.0.9] : success"));
        QVERIFY(!note->text().contains("gateway"));
        QCOMPARE(rig.sensor.ip_settings().address, std::string("127.0.0.9"));

        rig.expect_setting_panels_enabled(false);
        auto* connect_button = rig.find<QPushButton>("btn_connect");
        QCOMPARE(connect_button->text(), QString("Connect"));
        QVERIFY(!connect_button->isChecked());
        QCOMPARE(rig.find<QComboBox>("cmb_device")->currentText(), QString("127.0.0.9"));

        const std::vector<std::string> commands = rig.commands();
        QVERIFY(commands.size() >= 4);
        QCOMPARE(std::vector<std::string>(commands.begin(), commands.begin() + 4),
                 std::vector<std::string>(
                     {"%AH1", "%SP007", "%PG", "$IP127000000009255255255000127000000001"}));
        qInfo("longest click until answered with a prompt sensor: %lld ms", rig.longest_ms);
    }

    void silent_sensor_fails_each_action_after_its_time_out()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.click(rig.find<QPushButton>("btn_connect"));
        rig.sensor.set_fault(vyr_sim::Fault::no_answer);

        const struct
        {
            const char* button;
            const char* status;
            int time_out_ms;
        } actions[] = {
            {"btn_heater_off", "Set heater[Inactivate] : fail", 2000},
            {"btn_update", "Phase change[0] : fail", 1000},
            {"btn_get", "Current Phase get : fail", 1000},
            {"btn_change_ip_address", "IP Address change[192.168.0.11] : fail", 2000},
        };
        for (const auto& action : actions) {
            rig.longest_ms = 0;
            rig.click(rig.find<QPushButton>(action.button));
            QCOMPARE(rig.status(), QString(action.status));
            QVERIFY2(rig.longest_ms >= action.time_out_ms &&
                         rig.longest_ms < action.time_out_ms + 600,
                     qPrintable(QString("%1: %2 ms").arg(action.button).arg(rig.longest_ms)));
            qInfo("%s answered after %lld ms", action.button, rig.longest_ms);
        }
        rig.expect_setting_panels_enabled(true);
    }

    // A connect to a device that chatters but never answers runs its whole open budget
    // (2.8 s); closing the window waits for it no longer than for any other exchange.
    void closing_cuts_a_hopeless_connect_short()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.sensor.set_line_interval_ms(5);
        rig.sensor.set_fault(vyr_sim::Fault::chatter);
        rig.click(rig.find<QPushButton>("btn_connect"), false);
        QCOMPARE(rig.status(), QString("Connect : "));
        QElapsedTimer clock;
        clock.start();
        rig.window.reset();
        QVERIFY2(clock.elapsed() >= 1900 && clock.elapsed() < 2300,
                 qPrintable(QString::number(clock.elapsed())));
    }

    // A reply trickled far slower than its time-out allows takes no longer to fail.
    void trickling_reply_fails_at_the_time_out()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.click(rig.find<QPushButton>("btn_connect"));
        rig.sensor.set_fault(vyr_sim::Fault::trickle);
        rig.sensor.set_trickle_ms(380);
        rig.longest_ms = 0;
        rig.click(rig.find<QPushButton>("btn_heater_on"));
        QCOMPARE(rig.status(), QString("Set heater[Activate] : fail"));
        QVERIFY2(rig.longest_ms >= 2000 && rig.longest_ms <= 2200,
                 qPrintable(QString::number(rig.longest_ms)));
        qInfo("heater with a trickling reply answered after %lld ms", rig.longest_ms);
    }

    // Stop, Close, Disconnect and Quit while scanning, against sensors that never let a
    // stop through: each returns within 2 s, and none claims the sensor stopped.
    void ending_a_scan_is_bounded_whatever_the_sensor_does_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("fault_command");
        for (const char* action : {"stop", "close", "disconnect", "quit"}) {
            QTest::addRow("%s, ignores QT", action)
                << action << int(vyr_sim::Fault::ignore_stop) << QString();
            QTest::addRow("%s, talks on after QT", action)
                << action << int(vyr_sim::Fault::endless_reply) << "QT";
            QTest::addRow("%s, trickles scans", action)
                << action << int(vyr_sim::Fault::trickle) << "MD";
        }
    }
    void ending_a_scan_is_bounded_whatever_the_sensor_does()
    {
        QFETCH(QString, action);
        QFETCH(int, fault);
        QFETCH(QString, fault_command);
        const qint64 bound_ms = 2000 + 300; // with a margin for a loaded machine

        Rig rig;
        QVERIFY(rig.start());
        rig.click(rig.find<QPushButton>("btn_connect"));
        QVERIFY(rig.start_live_scan());
        rig.longest_ms = 0;
        rig.sensor.set_trickle_ms(20);
        rig.sensor.set_line_interval_ms(100);
        rig.sensor.set_fault_command(fault_command.toStdString());
        rig.sensor.set_fault(vyr_sim::Fault(fault));
        // Let the fault reach the scans already on their way.
        QTest::qWait(300);
        rig.sensor.clear_received();

        QElapsedTimer clock;
        clock.start();
        if (action == "stop") {
            // Returns at once; the worker reports when it has let go of the sensor.
            auto* stop = rig.live()->findChild<QPushButton*>("btn_stop");
            rig.click(stop, false);
            QVERIFY2(rig.longest_ms < 100, qPrintable(QString::number(rig.longest_ms)));
            QVERIFY(!stop->isEnabled());
            QCOMPARE(rig.live_status(), QString("Stopping..."));
            QVERIFY(QTest::qWaitFor([&] { return !rig.live()->is_running(); }, 5000));
            rig.expect_setting_panels_enabled(true);
        } else if (action == "close") {
            // Hides the window at once; the status line tells when the stop has ended.
            rig.live()->close();
            QVERIFY(QTest::qWaitFor([&] { return !rig.live()->is_running(); }, 5000));
        } else if (action == "disconnect") {
            rig.click(rig.find<QPushButton>("btn_connect"));
            QCOMPARE(rig.status(), QString("Disconnect : Success"));
        } else {
            rig.window.reset();
        }
        const qint64 took_ms = clock.elapsed();
        qInfo("%s took %lld ms", qPrintable(action), took_ms);
        QVERIFY2(took_ms < bound_ms, qPrintable(QString::number(took_ms)));
        // A sensor busy trickling reads the stop only when it is done.
        if (vyr_sim::Fault(fault) != vyr_sim::Fault::trickle) {
            QVERIFY(rig.sensor.wait_for_received(1, 0));
            QCOMPARE(rig.commands().front(), std::string("QT"));
        }
        if (rig.window) {
            QVERIFY(!rig.live()->is_running());
            QVERIFY2(rig.live_status().contains("did not confirm the stop"),
                     qPrintable(rig.live_status()));
        }
        if (action == "disconnect") {
            // What the stop left behind does not stand in the way of the next connection.
            rig.sensor.clear_faults();
            rig.click(rig.find<QPushButton>("btn_connect"));
            QCOMPARE(rig.status(), QString("Connect : Success"));
            rig.expect_setting_panels_enabled(true);
        }
    }
};

QTEST_MAIN(Main_window_flow_test)
#include "main_window_flow_test.moc"
