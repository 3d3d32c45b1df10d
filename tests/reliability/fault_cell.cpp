#include "fault_cell.h"

#include "heater_setter.h"
#include "ip_changer.h"
#include "phase_setter.h"
#include "vyr_driver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <string>
#include <vector>

using vyr_sim::Fault;

namespace {

const char* const operation_names[] = {"open_tcp",       "open_serial",
                                       "heater",         "phase_set",
                                       "phase_get",      "ip_change",
                                       "read_distance",  "read_distance_intensity",
                                       "read_multiecho", "read_multiecho_intensity",
                                       "version_info",   "status_info",
                                       "reboot",         "stop_scans"};

void ensure_application()
{
    if (QApplication::instance()) {
        return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fault_matrix";
    static char* argv[] = {name, nullptr};
    // Reachable for the life of the process; Qt does not like being torn down twice.
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

const char* command_prefix(Operation operation)
{
    switch (operation) {
    case Operation::heater:
        return "%AH";
    case Operation::phase_set:
        return "%SP";
    case Operation::phase_get:
        return "%PG";
    case Operation::ip_change:
        return "$IP";
    case Operation::read_distance:
    case Operation::read_distance_intensity:
        return "G";
    case Operation::read_multiecho:
    case Operation::read_multiecho_intensity:
        return "N";
    case Operation::version_info:
        return "VV";
    case Operation::status_info:
        return "II";
    case Operation::reboot:
        return "RB";
    case Operation::stop_scans:
        return "QT";
    default:
        return "";
    }
}

// The part of the panel's last status text after the head, which comes once the driver's
// owner has run the exchange.
template <class Panel> std::string press(Panel& panel, const char* button)
{
    QString last;
    int reports = 0;
    QObject::connect(&panel, &Panel::report_status, [&](const QString& status) {
        last = status;
        ++reports;
    });
    panel.template findChild<QPushButton*>(button)->click();
    QElapsedTimer waited;
    waited.start();
    while (reports < 2 && waited.elapsed() < 30000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return last.mid(last.lastIndexOf(" : ") + 3).toStdString();
}

std::string read_outcome(kvt::Vyr_driver& driver, Operation operation)
{
    const bool single =
        operation == Operation::read_distance || operation == Operation::read_distance_intensity;
    const kvt::Lidar::measurement_type type =
        operation == Operation::read_distance             ? kvt::Lidar::Range
        : operation == Operation::read_distance_intensity ? kvt::Lidar::Range_intensity
        : operation == Operation::read_multiecho          ? kvt::Lidar::Multi_echo
                                                          : kvt::Lidar::Multi_echo_intensity;
    if (!driver.start_scans(type, single ? 1 : 0, 0)) {
        return std::string("start failed: ") + driver.last_error_text();
    }
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
    long stamp = 0;
    bool ok = false;
    switch (type) {
    case kvt::Lidar::Range:
        ok = driver.read_distance(distance, &stamp);
        break;
    case kvt::Lidar::Range_intensity:
        ok = driver.read_distance_intensity(distance, intensity, &stamp);
        break;
    case kvt::Lidar::Multi_echo:
        ok = driver.read_multiecho(distance, &stamp);
        break;
    default:
        ok = driver.read_multiecho_intensity(distance, intensity, &stamp);
        break;
    }
    if (!ok) {
        return driver.last_error_text();
    }
    const size_t factor = single ? 1 : 3;
    return "ok:" + std::to_string(distance.size() / factor);
}

// A series running, one scan of it read: what stop_scans ends.
std::string start_series(kvt::Vyr_driver& driver)
{
    std::vector<long> distance;
    if (!driver.start_scans(kvt::Lidar::Range, 0, 0) || !driver.read_distance(distance, nullptr)) {
        return std::string("series failed: ") + driver.last_error_text();
    }
    return "";
}

std::string stop_outcome(kvt::Vyr_driver& driver)
{
    driver.stop_scans();
    return driver.last_error_text();
}

std::string run_on_open_sensor(vyr_sim::Simulator& sim, kvt::Vyr_driver& driver,
                               Operation operation)
{
    switch (operation) {
    case Operation::stop_scans: {
        const std::string failed = start_series(driver);
        return failed.empty() ? stop_outcome(driver) : failed;
    }
    case Operation::heater: {
        QVyr_heater_setter panel(driver);
        return press(panel, "btn_heater_on");
    }
    case Operation::phase_set: {
        QVyr_phase_setter panel(driver);
        panel.findChild<QSpinBox*>("spn_phase_value")->setValue(45);
        return press(panel, "btn_update");
    }
    case Operation::phase_get: {
        QVyr_phase_setter panel(driver);
        return press(panel, "btn_get");
    }
    case Operation::ip_change: {
        QVyr_ip_changer panel(driver);
        return press(panel, "btn_change_ip_address");
    }
    case Operation::version_info:
        return driver.product();
    case Operation::status_info:
        return driver.sensor_status();
    case Operation::reboot:
        driver.reboot();
        return driver.last_error_text();
    default:
        (void)sim;
        return read_outcome(driver, operation);
    }
}

bool is_panel(Operation operation)
{
    return operation == Operation::heater || operation == Operation::phase_set ||
           operation == Operation::phase_get || operation == Operation::ip_change;
}

bool is_opening(Operation operation)
{
    return operation == Operation::open_tcp || operation == Operation::open_serial;
}

std::string open_outcome(vyr_sim::Simulator& sim, kvt::Vyr_driver& driver, Link_kind link)
{
    const bool opened = link == Link_kind::tcp
                            ? driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)
                            : driver.open(sim.serial_path().c_str(), 115200, kvt::Lidar::Serial);
    return opened ? "ok" : driver.last_error_text();
}

// The open's 140 ms replies can miss on a loaded machine; it is not under test here.
bool open_for_test(vyr_sim::Simulator& sim, kvt::Vyr_driver& driver, Link_kind link)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (open_outcome(sim, driver, link) == "ok") {
            driver.set_scan_range(-10, 10, 1);
            return true;
        }
    }
    return false;
}

std::string run_follow_up(vyr_sim::Simulator& sim, kvt::Vyr_driver& driver, Operation operation,
                          const Fault_choice& fault, Link_kind link)
{
    sim.clear_faults();
    if (fault.param_key) {
        sim.set_parameter(fault.param_key, fault.param_usual);
    }
    // A series the faulty read left running may still hold scans sent while the fault was
    // on, and one whose stop went unconfirmed may still run; the user stops it before
    // starting again.
    if (operation == Operation::read_multiecho ||
        operation == Operation::read_multiecho_intensity || operation == Operation::stop_scans) {
        driver.stop_scans();
    }
    // The user's next click comes after a late or trickled reply has arrived.
    if (!sim.wait_until_quiet(15000)) {
        return "sensor still replying";
    }
    if (operation == Operation::reboot) {
        // Sooner, the sensor takes the next "RB" for the confirmation of the faulty one.
        QThread::msleep(1100);
    }
    // The driver still counts itself open after a reboot that went through.
    const bool hung_up = (link == Link_kind::tcp && !sim.client_connected()) ||
                         sim.reboot_count() > 0;
    if (!driver.is_open() || hung_up) {
        driver.close();
        if (!open_for_test(sim, driver, link)) {
            return "reopen failed";
        }
    }
    if (is_opening(operation)) {
        return driver.product();
    }
    return run_on_open_sensor(sim, driver, operation);
}

} // namespace

const char* link_name(Link_kind link)
{
    return link == Link_kind::tcp ? "tcp" : "serial";
}

Link_kind usual_link(Operation operation)
{
    return operation == Operation::open_serial ? Link_kind::serial : Link_kind::tcp;
}

const char* operation_name(Operation operation)
{
    return operation_names[static_cast<int>(operation)];
}

const char* fault_name(const Fault_choice& fault)
{
    if (fault.label) {
        return fault.label;
    }
    if (!fault.any) {
        return "none";
    }
    // The simulator's names, in the spelling test names take.
    static const std::vector<std::string> names = [] {
        std::vector<std::string> spelled;
        for (const vyr_sim::Fault_name& f : vyr_sim::fault_names()) {
            std::string name = f.name;
            std::replace(name.begin(), name.end(), '-', '_');
            spelled.push_back(name);
        }
        return spelled;
    }();
    return names[static_cast<size_t>(fault.fault)].c_str();
}

void warm_up(Operation operation)
{
    if (is_panel(operation)) {
        ensure_application();
        kvt::Vyr_driver closed;
        QVyr_heater_setter heater(closed);
        QVyr_phase_setter phase(closed);
        QVyr_ip_changer ip(closed);
        heater.grab();
        phase.grab();
        ip.grab();
    }
}

Cell_outcome run_cell(Operation operation, const Fault_choice& fault, Link_kind link,
                      bool follow_up)
{
    if (is_panel(operation)) {
        ensure_application();
    }
    vyr_sim::Simulator sim;
    sim.set_scans_per_minute(2400); // replies time out after 390 ms
    sim.set_phase(123);
    sim.set_fault_delay_ms(2500); // beyond every reply time-out of the program
    if (follow_up) {
        sim.set_trickle_ms(25); // a whole line then takes longer than its time-out
    }
    if (fault.trickle_ms > 0) {
        sim.set_trickle_ms(fault.trickle_ms);
    }
    if (fault.line_interval_ms > 0) {
        sim.set_line_interval_ms(fault.line_interval_ms);
    }
    if (fault.param_key) {
        sim.set_parameter(fault.param_key, fault.param_value);
    }
    kvt::Vyr_driver driver;

    if (!(link == Link_kind::tcp ? sim.start_tcp(0) : sim.start_serial())) {
        return {"setup failed", 0, {}};
    }
    if (!is_opening(operation) && !open_for_test(sim, driver, link)) {
        return {"setup failed", 0, {}};
    }
    if (operation == Operation::stop_scans) {
        const std::string failed = start_series(driver);
        if (!failed.empty()) {
            return {failed, 0, {}};
        }
    }
    if (fault.any) {
        sim.set_fault_command(command_prefix(operation));
        sim.set_fault(fault.fault);
    }

    QElapsedTimer clock;
    clock.start();
    Cell_outcome outcome;
    outcome.result = is_opening(operation)                  ? open_outcome(sim, driver, link)
                     : operation == Operation::stop_scans ? stop_outcome(driver)
                                                          : run_on_open_sensor(sim, driver, operation);
    outcome.msec = clock.elapsed();
    outcome.detail = driver.last_error_detail();
    if (follow_up) {
        outcome.follow_up = run_follow_up(sim, driver, operation, fault, link);
    }
    return outcome;
}
