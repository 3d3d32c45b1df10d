#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <map>

#include "driver_owner.h"
#include "find_dialog.h"
#include "information_window.h"
#include "ip_address_widget.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "loopback_socket.h"
#include "main_window.h"
#include "polar_view.h"
#include "qvyr_connector.h"
#include "sensor_network.h"
#include "settings_folder.h"
#include "simulator.h"

namespace {

// The longest the event loop may go without a turn while the sensor is being talked to.
constexpr qint64 bound_ms = 50;

// Nanoseconds this thread has spent runnable but waiting for a processor, as the kernel
// counts them; -1 where it does not.
qint64 run_queue_wait_ns()
{
    std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
    if (!file) {
        return -1;
    }
    long long on_cpu = 0, waiting = -1;
    if (std::fscanf(file, "%lld %lld", &on_cpu, &waiting) != 2) {
        waiting = -1;
    }
    std::fclose(file);
    return waiting;
}

qint64 now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The GUI thread's event loop waits in the poll function of the default main context;
// the probe puts its own in front of it, found at run time in the library Qt uses.
using Poll_function = int (*)(void* fds, unsigned count, int time_out_ms);
using Context_default = void* (*)();
using Get_poll = Poll_function (*)(void* context);
using Set_poll = void (*)(void* context, Poll_function poll);

// The longest stall of the event loop: the longest stretch between two of its waits, less
// the time the thread was ready but given no processor (other builds and tests on a shared
// machine). A click that blocks shows in full, and so does work in the loop's handlers;
// a wait that ends late because the machine is busy does not. Beside it the raw figure:
// the largest gap between the turns of a timer that asks for one every millisecond.
class Stall_probe
{
public:
    Stall_probe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        const auto context_default =
            reinterpret_cast<Context_default>(dlsym(RTLD_DEFAULT, "g_main_context_default"));
        const auto get_poll =
            reinterpret_cast<Get_poll>(dlsym(RTLD_DEFAULT, "g_main_context_get_poll_func"));
        const auto set_poll =
            reinterpret_cast<Set_poll>(dlsym(RTLD_DEFAULT, "g_main_context_set_poll_func"));
        if (context_default && get_poll && set_poll && qEnvironmentVariableIsEmpty("QT_NO_GLIB")) {
            original_poll_ = get_poll(context_default());
            set_poll(context_default(), &timed_poll);
        } else {
            qWarning("no poll function to watch: the stall is the raw gap");
        }
    }
    void begin()
    {
        longest_ns_ = longest_raw_ns_ = 0;
        last_tick_ns_ = out_of_wait_ns_ = now_ns();
        out_of_wait_queued_ns_ = run_queue_wait_ns();
        measuring_ = this;
        timer_.start();
    }
    // The longest stall and the longest raw gap.
    std::pair<qint64, qint64> end_ms()
    {
        tick();
        end_of_stretch();
        timer_.stop();
        measuring_ = nullptr;
        return {(original_poll_ ? longest_ns_ : longest_raw_ns_) / 1000000,
                longest_raw_ns_ / 1000000};
    }

private:
    static int timed_poll(void* fds, unsigned count, int time_out_ms)
    {
        Stall_probe* probe = measuring_;
        if (probe) {
            probe->end_of_stretch();
        }
        const int result = original_poll_(fds, count, time_out_ms);
        if (probe && measuring_ == probe) {
            probe->out_of_wait_ns_ = now_ns();
            probe->out_of_wait_queued_ns_ = run_queue_wait_ns();
        }
        return result;
    }
    void end_of_stretch()
    {
        const qint64 queued = run_queue_wait_ns();
        qint64 stretch = now_ns() - out_of_wait_ns_;
        if (queued >= 0 && out_of_wait_queued_ns_ >= 0) {
            stretch -= queued - out_of_wait_queued_ns_;
        }
        longest_ns_ = std::max(longest_ns_, stretch);
    }
    void tick()
    {
        const qint64 now = now_ns();
        longest_raw_ns_ = std::max(longest_raw_ns_, now - last_tick_ns_);
        last_tick_ns_ = now;
    }

    static inline Poll_function original_poll_ = nullptr;
    static inline Stall_probe* measuring_ = nullptr; // used on the GUI thread only
    QTimer timer_;
    qint64 last_tick_ns_ = 0;
    qint64 out_of_wait_ns_ = 0;
    qint64 out_of_wait_queued_ns_ = 0;
    qint64 longest_ns_ = 0;
    qint64 longest_raw_ns_ = 0;
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
        if (!write_settings_file(
                {"is_ethernet=true", "ip_address=127.0.0.1", QString("port_num=%1").arg(port)}))
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
    // editor 0 is the address, 2 the gateway
    void type_address(int editor, const char* const (&octets)[4])
    {
        auto* address = find<QVyr_ip_changer>()->findChildren<Ip_address_widget*>().at(editor);
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
        for (const char* name : {"no-answer", "delay", "trickle", "chatter", "status-checksum",
                                 "close-after-status"}) {
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
    // The longest stall and raw gap of each group.
    std::map<QString, std::pair<qint64, qint64>> longest_by_group_;
    Stall_probe probe_;
    qint64 attempt_stall_ = 0, attempt_raw_ = 0; // the longest of the attempt under way

    // The longest stall from the action's start until done, and a little after.
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
        const auto [stall_ms, raw_ms] = probe_.end_ms();
        attempt_stall_ = std::max(attempt_stall_, stall_ms);
        attempt_raw_ = std::max(attempt_raw_, raw_ms);
        qInfo("longest stall %lld ms (raw gap %lld ms) over %lld ms: %s", stall_ms, raw_ms, took_ms,
              qPrintable(outcome()));
        QVERIFY2(ended, "the action did not end");
    }

    // Runs a case up to three times while its stall is over the bound and keeps the best:
    // a stall of the window's making comes back every time, while a host that holds the
    // whole machine back now and then (no processor for 100 ms) is not the window's doing.
    void attempts(const std::function<void()>& run_case)
    {
        qint64 best = -1, best_raw = 0;
        for (int attempt = 1; attempt <= 3 && (best < 0 || best > bound_ms); ++attempt) {
            attempt_stall_ = attempt_raw_ = 0;
            run_case();
            if (QTest::currentTestFailed()) {
                return;
            }
            if (best < 0 || attempt_stall_ < best) {
                best = attempt_stall_;
                best_raw = attempt_raw_;
            }
            if (attempt_stall_ > bound_ms) {
                qInfo("attempt %d stalled %lld ms", attempt, attempt_stall_);
            }
        }
        auto& longest = longest_by_group_[QTest::currentTestFunction()];
        longest.first = std::max(longest.first, best);
        longest.second = std::max(longest.second, best_raw);
        QVERIFY2(best <= bound_ms, qPrintable(QString("%1 ms").arg(best)));
    }

    void setting_action(const char* button)
    {
        QFETCH(int, fault);
        attempts([&] {
            Rig rig;
            QVERIFY(rig.start() && rig.connect());
            if (QString(button) == "btn_change_ip_address") {
                // A loopback address, so that nothing could ever leave the machine, and a
                // gateway in its subnet, so that the change is sent.
                rig.type_address(0, {"127", "0", "0", "9"});
                rig.type_address(2, {"127", "0", "0", "1"});
            }
            set_fault(rig.sensor, fault);
            measure([&] { rig.click(rig.find<QPushButton>(button)); },
                    [&] { return rig.action_ended(); }, [&] { return rig.status(); });
        });
    }

private slots:
    void cleanupTestCase()
    {
        for (const auto& [group, longest] : longest_by_group_) {
            qInfo("%s: longest stall %lld ms (raw gap %lld ms)", qPrintable(group), longest.first,
                  longest.second);
        }
    }

    // What the probe is there for: the window's own thread held shows in full.
    void probe()
    {
        measure([] { QThread::msleep(120); }, [] { return true; },
                [] { return QString("held on purpose"); });
        QVERIFY2(attempt_stall_ >= 100, qPrintable(QString("%1 ms").arg(attempt_stall_)));
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
        attempts([&] {
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
                    [&] {
                        return rig.status().startsWith("Connect : ") &&
                               rig.status() != "Connect : ";
                    },
                    [&] { return rig.status(); });
            QCOMPARE(rig.status(),
                     QString(sensor == "prompt" ? "Connect : Success" : "Connect : Fail"));
            if (sensor == "prompt") {
                measure([&] { rig.click(rig.find<QPushButton>("btn_connect")); },
                        [&] { return rig.status() == "Disconnect : Success"; },
                        [&] { return rig.status(); });
            }
        });
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
    void address() { setting_action("btn_change_ip_address"); }

    void information_data() { add_rows({"btn_refresh"}); }
    void information()
    {
        QFETCH(int, fault);
        attempts([&] {
            Rig rig;
            QVERIFY(rig.start() && rig.connect());
            rig.find<QAction>("actionInformation")->trigger();
            QVERIFY(spin_until([&] { return rig.refresh_button()->isEnabled(); }, 5000));
            set_fault(rig.sensor, fault);
            // A link found gone leaves the window disconnected and the button off.
            measure([&] { rig.click(rig.refresh_button()); },
                    [&] {
                        return rig.refresh_button()->isEnabled() ||
                               rig.status().startsWith("Connection lost");
                    },
                    [&] { return rig.find<QLabel>("lbl_product")->text(); });
            QVERIFY(!rig.owner_busy());
        });
    }

    // A search of a /24 on loopback with sensors and silent listeners in it, then the
    // choice of one that fills the connection panel.
    void find()
    {
        attempts([&] {
            Sensor_network net(83, {3, 17, 29, 41, 58, 77, 90, 123, 160, 201}, {11, 99, 250});
            Rig rig;
            QVERIFY(rig.open_window(net.port()));
            rig.find<QAction>("actionFind_sensors")->trigger();
            auto* dialog = rig.find<Find_dialog>();
            QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
            dialog->findChild<QLineEdit*>("edt_ranges")->setText(QString::fromStdString(net.range()));
            dialog->findChild<QSpinBox*>("spn_port")->setValue(net.port());
            dialog->findChild<QCheckBox*>("chk_serial")->setChecked(false);
            auto* table = dialog->findChild<QTableWidget*>("tbl_sensors");
            measure([&] { rig.click(dialog->findChild<QPushButton*>("btn_search")); },
                    [&] { return !dialog->searching(); },
                    [&] { return QString("%1 sensors found").arg(table->rowCount()); });
            QCOMPARE(table->rowCount(), 10);
            table->selectRow(0);
            const QString target = table->item(0, 0)->text();
            measure([&] { rig.click(dialog->findChild<QPushButton*>("btn_use")); },
                    [&] { return !dialog->isVisible(); },
                    [&] { return rig.find<QComboBox>("cmb_device")->currentText(); });
            QVERIFY2(target.startsWith(rig.find<QComboBox>("cmb_device")->currentText()),
                     qPrintable(target));
        });
    }

    // Start, then stop or disconnect, against a prompt sensor and three that keep a stop
    // from coming through.
    void live_stop_data() { add_live_rows("stop"); }
    void live_stop() { live(); }
    void live_disconnect_data() { add_live_rows("disconnect"); }
    void live_disconnect() { live(); }

private:
    static void add_live_rows(const char* ending)
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("command");
        QTest::addRow("prompt") << ending << -1 << QString();
        QTest::addRow("ignores QT") << ending << int(vyr_sim::Fault::ignore_stop) << QString();
        QTest::addRow("talks on after QT") << ending << int(vyr_sim::Fault::endless_reply) << "QT";
        QTest::addRow("trickles scans") << ending << int(vyr_sim::Fault::trickle) << "MD";
        if (QString(ending) == "stop") {
            QTest::addRow("start never answered")
                << "none" << int(vyr_sim::Fault::no_answer) << "MD";
        }
    }
    void live()
    {
        QFETCH(QString, ending);
        QFETCH(int, fault);
        QFETCH(QString, command);
        attempts([&] {
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
        });
    }
};

QTEST_MAIN(Stall_test)
#include "stall_test.moc"
