#ifndef VYR_PYTHON_LINK_H
#define VYR_PYTHON_LINK_H

// The sensor link behind vyr.Sensor: opening, the setting commands, measurement and the
// address change, each blocking operation without the GIL.

#include "failures.h"
#include "scan_csv.h"
#include "setting_commands.h"
#include "vyr_driver.h"

#include <pybind11/numpy.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace vyr_python {

namespace sc = setting_commands;

// One sensor link. Every operation holds the lock, so that Python threads sharing a
// sensor take turns instead of mixing their exchanges.
class Link
{
public:
    ~Link();

    // Opens a serial device at a baud rate, or an address ("localhost" too) at a port.
    void open(bool serial, const std::string& device, long number, int timeout_ms);
    void close();

    // Waits for another thread's exchange without holding the GIL.
    bool is_open();
    const std::string& target() const { return target_; }
    bool measuring() const { return measuring_; }

    void set_timeout(int msec);

    // The sensor's texts by key, its stable mark and its limits.
    py::dict info();
    void set_heater(bool on);
    int phase();
    void set_phase(int degrees);
    void reboot();

    // The steps to measure, from steps or from degrees (as vyr scan --range and --angles);
    // then the measurement is started. count 0 is endless.
    void start(const std::string& kind_name, std::optional<std::pair<int, int>> steps,
               std::optional<std::pair<double, double>> angles, int group, int skip, int count,
               bool sync);

    // The next scan: (number, time stamp, distance, intensity or None, step, radians,
    // degrees). The measurement ends once a counted one has given its last. The steps and
    // angles stay the same from scan to scan of a measurement: they are made once, read-only,
    // and shared.
    py::tuple read();

    // Ends the measurement ("QT"), or tries again to; true when the sensor confirmed it. A
    // stop after Ctrl-C is never interrupted itself.
    bool stop();

    // Why the last stop was not confirmed, as vyr says it.
    std::string stop_reason();

    // Sends the new address and reboots the sensor, closing the link; then, with verify,
    // looks for the sensor at its new address.
    py::dict change_address(const std::string& address, const std::string& netmask,
                            const std::string& gateway, const std::string& form_name, bool force,
                            bool verify, int wait_ms);

private:
    static py::object read_only(py::array array);

    // The steps and angles of the current measurement's scans, from the first step on.
    void make_steps(int first, int indexes);

    // Runs a blocking operation without the GIL. A Ctrl-C that came meanwhile stops a
    // running measurement and is then raised.
    template <class Operation> void run(Operation operation);

    // The driver's detail of its last error, or the fallback when it gave none.
    std::string detail_or(const std::string& fallback);

    // A lost link outweighs every other account of a failure.
    std::string lost_reason(const std::string& reason) const;

    // The driver's last error as a failure: no answer when the sensor was silent.
    Failure driver_failure_of(const std::string& fallback);
    [[noreturn]] void driver_failure(const std::string& fallback);

    // Fails for a setting command the sensor did not take, or never answered.
    [[noreturn]] void refused(const sc::Recording_link& link, const std::string& text);

    static int port_of(const std::string& target);

    kvt::Vyr_driver driver_;
    std::mutex mutex_;
    bool serial_ = false;
    std::string device_;
    std::string target_;
    bool measuring_ = false;
    kvt::Lidar::measurement_type kind_ = kvt::Lidar::Range;
    int stride_ = 1;
    int left_ = -1; // scans a counted measurement has still to send; -1 endless
    long number_ = 0;
    kvt::Scan_record record_;
    int first_step_ = 0;
    py::object steps_ = py::none(); // of the current measurement, with their angles
    py::object radians_ = py::none();
    py::object degrees_ = py::none();
};

} // namespace vyr_python

#endif
