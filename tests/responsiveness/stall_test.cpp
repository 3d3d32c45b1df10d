#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>

#include "driver_owner.h"
#include "information_window.h"
#include "ip_address_widget.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "loopback_socket.h"
#include "main_window.h"
#include "polar_view.h"
#include "qvyr_connector.h"
#include "settings_folder.h"
#include "simulator.h"

namespace {

// The longest the event loop may go without a turn while the sensor is being talked to.
constexpr qint64 bound_ms = 50;

// The largest gap between two turns of the event loop, seen by a timer that asks for one
// every millisecond. A click that blocks shows as a gap as long as the click.
class Stall_probe
{
public:
    Stall_probe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void begin()
    {
        longest_ns_ = 0;
        clock_.start();
        last_ns_ = 0;
        timer_.start();
    }
    qint64 end_ms()
    {
        tick();
        timer_.stop();
        return longest_ns_ / 1000000;
    }

private:
    void tick()
    {
        const qint64 now = clock_.nsecsElapsed();
        longest_ns_ = std::max(longest_ns_, now - last_ns_);
        last_ns_ = now;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ns_ = 0;
    qint64 longest_ns_ = 0;
};

// Turns the event loop (woken at least every millisecond by the probe) until done says
// so; unlike QTest::qWaitFor it never sleeps between turns.
bool spin_until(const std::function<bool()>& done, int time_out_ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > time_out_ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void spin_for(int ms)
{
    QElapsedTimer clock;
    clock.start();
    spin_until([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

// The whole window, its connection pointed at a simulated sensor on loopback.
struct Rig
{
    vyr_sim::Simulator sensor;
    Scoped_working_directory folder;
    QScopedPointer<MainWindow> window;

    bool open_window(int port)
    {
        if (!write_settings_file({"is_ethernet=true", "ip_address=127.0.0.1",
                                  QString("port_num=%1").arg(port)}))
            return false;
        window.reset(new MainWindow);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    bool start() { return sensor.start_tcp(0) && open_window(sensor.tcp_port()); }
    bool connect()
    {
        click(find<QPushButton>("btn_connect"));
        return spin_until([this] { return status() == "Connect : Success"; }, 5000);
    }

    template <class T> T* find(const char* name = nullptr)
    {
        return name ? window->findChild<T*>(name) : window->findChild<T*>();
    }
    QString status() { return window->statusBar()->currentMessage(); }
    void click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
    bool owner_busy() { return Driver_owner::of(find<QVyr_connector>()->driver())->busy(); }
    // A setting action has ended: nothing waits for the sensor and the status bar shows
    // more than a head.
    bool action_ended() { return !owner_busy() && !status().endsWith(" : "); }
    Live_scan_window* live() { return find<Live_scan_window>(); }
    QPushButton* live_button(const char* name) { return live()->findChild<QPushButton*>(name); }
    QString live_status() { return live()->findChild<QLabel*>("lbl_status")->text(); }
    QPushButton* refresh_button()
    {
        return find<Information_window>()->findChild<QPushButton*>("btn_refresh");
    }
    void type_address(const char* const (&octets)[4])
    {
        auto* address = find<QVyr_ip_changer>()->findChildren<Ip_address_widget*>().at(0);
        for (int i = 0; i < 4; ++i) {
            auto* field = address->findChild<QLineEdit*>(QString("address_%1_edit_").arg(i));
            field->selectAll();
            QTest::keyClicks(field, octets[i]);
        }
    }
};

void set_fault(vyr_sim::Simulator& sensor, int fault, const char* command = "")
{
    sensor.set_fault_delay_ms(300);
    sensor.set_trickle_ms(20);
    sensor.set_line_interval_ms(5);
    sensor.set_fault_command(command);
    if (fault >= 0) {
        sensor.set_fault(vyr_sim::Fault(fault));
    }
}

// Rows of every action against a prompt sensor and the faults that keep an answer
// waiting or spoil it.
void add_rows(std::initializer_list<const char*> actions)
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("fault");
    for (const char* action : actions) {
        QTest::addRow("%s, prompt", action) << action << -1;
        for (const char* name : {"no-answer", "delay", "trickle", "chatter"}) {
            vyr_sim::Fault fault;
            QVERIFY(vyr_sim::fault_from_name(name, fault));
            QTest::addRow("%s, %s", action, name) << action << int(fault);
        }
    }
}

} // namespace

class Stall_test : public QObject
{
    Q_OBJECT

private:
    std::map<QString, qint64> longest_by_group_;
    Stall_probe probe_;

    // Measures from the action's click until done, and a little after.
    void measure(const std::function<void()>& act, const std::function<bool()>& done,
                 const std::function<QString()>& outcome)
    {
        QElapsedTimer took;
        took.start();
        probe_.begin();
        act();
        const bool ended = spin_until(done, 15000);
        const qint64 took_ms = took.elapsed();
        spin_for(100);
        const qint64 stall_ms = probe_.end_ms();
        qint64& longest = longest_by_group_[QTest::currentTestFunction()];
        longest = std::max(longest, stall_ms);
        qInfo("longest stall %lld ms over %lld ms: %s", stall_ms, took_ms, qPrintable(outcome()));
        QVERIFY2(ended, "the action did not end");
        QVERIFY2(stall_ms <= bound_ms, qPrintable(QString("%1 ms").arg(stall_ms)));
    }

    void setting_action(const char* button)
    {
        QFETCH(int, fault);
        Rig rig;
        QVERIFY(rig.start() && rig.connect());
        set_fault(rig.sensor, fault);
        measure([&] { rig.click(rig.find<QPushButton>(button)); }, [&] { return rig.action_ended(); },
                [&] { return rig.status(); });
    }

private slots:
    void cleanupTestCase()
    {
        for (const auto& [group, longest] : longest_by_group_) {
            qInfo("%s: longest stall %lld ms", qPrintable(group), longest);
        }
    }

    void connect_data()
    {
        QTest::addColumn<QString>("sensor");
        QTest::newRow("prompt") << "prompt";
        QTest::newRow("refused") << "refused";
        QTest::newRow("silent") << "silent";
        QTest::newRow("chatter") << "chatter";
    }
    void connect()
    {
        QFETCH(QString, sensor);
        Rig rig;
        if (sensor == "refused") {
            QVERIFY(rig.open_window(free_loopback_port()));
        } else {
            QVERIFY(rig.start());
            set_fault(rig.sensor, sensor == "silent"    ? int(vyr_sim::Fault::no_answer)
                                  : sensor == "chatter" ? int(vyr_sim::Fault::chatter)
                                                        : -1);
        }
        measure([&] { rig.click(rig.find<QPushButton>("btn_connect")); },
                [&] { return rig.status().startsWith("Connect : ") && rig.status() != "Connect : "; },
                [&] { return rig.status(); });
        QCOMPARE(rig.status(), QString(sensor == "prompt" ? "Connect : Success" : "Connect : Fail"));
        if (sensor == "prompt") {
            measure([&] { rig.click(rig.find<QPushButton>("btn_connect")); },
                    [&] { return rig.status() == "Disconnect : Success"; },
                    [&] { return rig.status(); });
        }
    }

    void heater_data() { add_rows({"btn_heater_on", "btn_heater_off"}); }
    void heater()
    {
        QFETCH(QString, action);
        setting_action(qPrintable(action));
    }

    void phase_data() { add_rows({"btn_update", "btn_get"}); }
    void phase()
    {
        QFETCH(QString, action);
        setting_action(qPrintable(action));
    }

    void address_data() { add_rows({"btn_change_ip_address"}); }
    void address()
    {
        QFETCH(int, fault);
        Rig rig;
        QVERIFY(rig.start() && rig.connect());
        // A loopback address, so that nothing could ever leave the machine.
        rig.type_address({"127", "0", "0", "9"});
        set_fault(rig.sensor, fault);
        measure([&] { rig.click(rig.find<QPushButton>("btn_change_ip_address")); },
                [&] { return rig.action_ended(); }, [&] { return rig.status(); });
    }

    void information_data() { add_rows({"btn_refresh"}); }
    void information()
    {
        QFETCH(int, fault);
        Rig rig;
        QVERIFY(rig.start() && rig.connect());
        rig.find<QAction>("actionInformation")->trigger();
        QVERIFY(spin_until([&] { return rig.refresh_button()->isEnabled(); }, 5000));
        set_fault(rig.sensor, fault);
        measure([&] { rig.click(rig.refresh_button()); },
                [&] { return rig.refresh_button()->isEnabled(); },
                [&] { return rig.find<QLabel>("lbl_product")->text(); });
        QVERIFY(!rig.owner_busy());
    }

    void live_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("command");
        for (const char* ending : {"stop", "disconnect"}) {
            QTest::addRow("%s, prompt", ending) << ending << -1 << QString();
            QTest::addRow("%s, ignores QT", ending)
                << ending << int(vyr_sim::Fault::ignore_stop) << QString();
            QTest::addRow("%s, talks on after QT", ending)
                << ending << int(vyr_sim::Fault::endless_reply) << "QT";
            QTest::addRow("%s, trickles scans", ending)
                << ending << int(vyr_sim::Fault::trickle) << "MD";
        }
        QTest::addRow("start, no answer") << "none" << int(vyr_sim::Fault::no_answer) << "MD";
    }
    void live()
    {
        QFETCH(QString, ending);
        QFETCH(int, fault);
        QFETCH(QString, command);
        Rig rig;
        QVERIFY(rig.start() && rig.connect());
        rig.find<QAction>("actionLive_scan")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(rig.live()));
        const bool answers_scans = ending != "none";
        if (!answers_scans) {
            set_fault(rig.sensor, fault, qPrintable(command));
        }
        measure([&] { rig.click(rig.live_button("btn_start")); },
                [&] {
                    return answers_scans ? rig.live()->view()->scan().size() > 0
                                         : !rig.live()->is_running();
                },
                [&] { return rig.live_status(); });
        if (!answers_scans) {
            QVERIFY2(rig.live_status().startsWith("Measurement stopped: "),
                     qPrintable(rig.live_status()));
            return;
        }
        set_fault(rig.sensor, fault, qPrintable(command));
        spin_for(200); // the fault reaches the scans already on their way
        if (ending == "stop") {
            measure([&] { rig.click(rig.live_button("btn_stop")); },
                    [&] { return !rig.live()->is_running(); },
                    [&] { return rig.live_status(); });
        } else {
            measure([&] { rig.click(rig.find<QPushButton>("btn_connect")); },
                    [&] { return rig.status() == "Disconnect : Success"; },
                    [&] { return rig.live_status(); });
            QVERIFY(!rig.live()->is_running());
        }
        // Trickled scans may end the view with a read error before the stop is asked.
        QVERIFY2(rig.live_status().contains("Stopped after") == (fault < 0),
                 qPrintable(rig.live_status()));
    }
};

QTEST_MAIN(Stall_test)
#include "stall_test.moc"
