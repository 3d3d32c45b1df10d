// _vyr: the driver, the setting commands and the search for the vyr package. The package's
// Python side gives them their shape; this side does the blocking work, without the GIL.

#include "address_check.h"
#include "address_verification.h"
#include "connect_reason.h"
#include "ipv4_text.h"
#include "measurement_kinds.h"
#include "network_search.h"
#include "scan_csv.h"
#include "scan_range.h"
#include "sensor_information.h"
#include "serial_search.h"
#include "setting_commands.h"
#include "vyr_driver.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace py = pybind11;
namespace sc = setting_commands;

namespace {

const double pi = 3.141592653589793;

// The exception classes of vyr._errors, by kind.
enum class Kind { connect, refused, no_answer, usage };

struct Failure
{
    Kind kind;
    std::string text;
    std::string reason;
};

[[noreturn]] void fail(Kind kind, const std::string& text, const std::string& reason = "")
{
    throw Failure{kind, text, reason};
}

// A sensor's texts are bytes; each becomes the Latin-1 character of its value, as in vyr's
// JSON, so that no reply can fail to decode and the bytes come back with encode("latin-1").
py::str latin1(const std::string& bytes)
{
    PyObject* text =
        PyUnicode_DecodeLatin1(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), nullptr);
    if (!text) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(text);
}

void translate_failure(const Failure& failure)
{
    static const char* const names[] = {"ConnectError", "RefusedError", "NoAnswerError",
                                        "UsageError"};
    py::object type =
        py::module_::import("vyr._errors").attr(names[static_cast<int>(failure.kind)]);
    py::object error = type(latin1(failure.text), latin1(failure.reason));
    PyErr_SetObject(type.ptr(), error.ptr());
}

// "192.168.000.010" as "192.168.0.10"; leading zeros are decimal, as in vyr.
std::optional<std::string> canonical_ipv4(const std::string& text)
{
    uint8_t octets[4];
    if (text.find('\0') != std::string::npos || ipv4_from_text(text.c_str(), octets) != 0) {
        return std::nullopt;
    }
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

std::string not_an_address(const std::string& text)
{
    return "\"" + text + "\": not an IPv4 address (four numbers 0..255 with dots)";
}

// The three addresses as the field texts the setting commands take; a usage error names
// the first that is none.
sc::Network_settings network_settings(const std::string& address, const std::string& netmask,
                                      const std::string& gateway)
{
    sc::Network_settings settings;
    const std::pair<const std::string*, sc::Address*> parts[] = {
        {&address, &settings.ip_address},
        {&netmask, &settings.subnet_mask},
        {&gateway, &settings.default_gateway},
    };
    for (const auto& [text, fields] : parts) {
        const std::optional<std::string> canonical = canonical_ipv4(*text);
        if (!canonical) {
            fail(Kind::usage, not_an_address(*text));
        }
        size_t begin = 0;
        for (std::string& field : *fields) {
            const size_t end = std::min(canonical->find('.', begin), canonical->size());
            field = canonical->substr(begin, end - begin);
            begin = end + 1;
        }
    }
    return settings;
}

std::string joined(const sc::Address& fields)
{
    return fields[0] + "." + fields[1] + "." + fields[2] + "." + fields[3];
}

// Runs work on a thread of its own while this one waits without the GIL, looking for
// Ctrl-C every 50 ms; a signal sets stop, which work must heed, and is raised once it
// returned.
template <class Work> void run_interruptible(std::atomic<bool>& stop, Work work)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr thrown;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            thrown = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_all();
    });
    std::optional<py::error_already_set> signalled;
    for (bool over = false; !over;) {
        {
            py::gil_scoped_release nogil;
            std::unique_lock<std::mutex> lock(mutex);
            over = finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; });
        }
        if (!over && !signalled && PyErr_CheckSignals() != 0) {
            signalled.emplace();
            stop = true;
        }
    }
    worker.join();
    if (signalled) {
        throw *signalled;
    }
    if (thrown) {
        std::rethrow_exception(thrown);
    }
}

const kvt::Measurement_kind& kind_named(const std::string& name)
{
    std::string names;
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        if (name == kind.cli_name) {
            return kind;
        }
        names += names.empty() ? "" : &kind == std::end(kvt::measurement_kinds) - 1 ? " or " : ", ";
        names += kind.cli_name;
    }
    fail(Kind::usage, "kind: expected " + names + ", not \"" + name + "\"");
}

// One sensor link. Every operation holds the lock, so that Python threads sharing a
// sensor take turns instead of mixing their exchanges.
class Link
{
public:
    ~Link()
    {
        // A measurement left running would go on sending to nobody.
        if (measuring_) {
            py::gil_scoped_release nogil;
            driver_.stop_scans();
        }
    }

    void open(bool serial, const std::string& device, long number, int timeout_ms)
    {
        bool opened = false;
        std::string name = device;
        if (!serial) {
            const std::optional<std::string> address =
                device == "localhost" ? device : canonical_ipv4(device);
            if (!address) {
                fail(Kind::usage, not_an_address(device));
            }
            if (number < 1 || number > 65535) {
                fail(Kind::usage, "port: expected a whole number from 1 to 65535, not " +
                                      std::to_string(number));
            }
            name = *address;
        } else if (device.empty() || device.find('\0') != std::string::npos) {
            // The device is handed on as a C string: a NUL would open another one.
            fail(Kind::usage, "device: expected a serial device name such as ttyACM0");
        } else if (number < 1 || number > 4000000) {
            fail(Kind::usage, "baudrate: expected a whole number from 1 to 4000000, not " +
                                  std::to_string(number));
        }
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            opened = driver_.open(name.c_str(), number,
                                  serial ? kvt::Lidar::Serial : kvt::Lidar::Ethernet);
        }
        serial_ = serial;
        device_ = name;
        target_ = serial ? name : name + ":" + std::to_string(number);
        if (PyErr_CheckSignals() != 0) {
            driver_.close();
            throw py::error_already_set();
        }
        if (!opened) {
            fail(Kind::connect, driver_.last_error_text(),
                 open_failure_reason(driver_.last_error_detail(), driver_.system_reason(), serial));
        }
        if (timeout_ms > 0) {
            driver_.set_timeout(timeout_ms);
        }
    }

    void close()
    {
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            driver_.close();
        }
        measuring_ = false; // written under the GIL only, as Python reads it
    }

    // Waits for another thread's exchange without holding the GIL.
    bool is_open()
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        return driver_.is_open();
    }
    const std::string& target() const { return target_; }
    bool measuring() const { return measuring_; }

    void set_timeout(int msec)
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        driver_.set_timeout(msec);
    }

    py::dict info()
    {
        using Info = kvt::Sensor_information;
        std::optional<Info> read;
        run([&] { read.emplace(kvt::read_sensor_information(driver_)); });
        const Info& info = *read;
        py::dict fields;
        for (int part = Info::Product; part < Info::None; ++part) {
            const auto which = static_cast<Info::Part>(part);
            if (!info.has(which)) {
                fail(Kind::no_answer, info.error_text,
                     lost_reason(info.error_detail.empty()
                                     ? std::string("reading ") + Info::key(which)
                                     : info.error_detail));
            }
            fields[Info::key(which)] = latin1(info.text(which));
        }
        fields["stable"] = info.stable;
        fields["min_step"] = info.min_step;
        fields["max_step"] = info.max_step;
        fields["min_distance"] = info.min_distance;
        fields["max_distance"] = info.max_distance;
        fields["scan_period_usec"] = info.scan_period_usec;
        fields["steps_per_scan"] = info.steps_per_scan;
        fields["min_angle_deg"] = info.min_step_deg;
        fields["max_angle_deg"] = info.max_step_deg;
        return fields;
    }

    void set_heater(bool on)
    {
        sc::Recording_link link(driver_);
        bool taken = false;
        run([&] { taken = sc::set_heater(link, on); });
        if (!taken) {
            refused(link, "the sensor did not take the heater command");
        }
    }

    int phase()
    {
        sc::Recording_link link(driver_);
        int degrees = -1;
        run([&] { degrees = sc::get_phase(link); });
        if (degrees < 0) {
            refused(link, "the sensor did not report its phase");
        }
        return degrees;
    }

    void set_phase(int degrees)
    {
        if (degrees < 0 || degrees > sc::max_phase) {
            fail(Kind::usage,
                 "phase: expected a whole number from 0 to 359, not " + std::to_string(degrees));
        }
        sc::Recording_link link(driver_);
        bool taken = false;
        run([&] { taken = sc::set_phase(link, degrees); });
        if (!taken) {
            refused(link, "the sensor did not take the phase");
        }
    }

    void reboot()
    {
        run([&] { driver_.reboot(); });
        if (driver_.last_error() != kvt::Error::none) {
            driver_failure("the sensor did not confirm the reboot");
        }
        close(); // the sensor ends the connection as it goes down
    }

    // The steps to measure, from steps or from degrees (as vyr scan --range and --angles);
    // then the measurement is started. count 0 is endless.
    void start(const std::string& kind_name, std::optional<std::pair<int, int>> steps,
               std::optional<std::pair<double, double>> angles, int group, int skip, int count,
               bool sync)
    {
        const kvt::Measurement_kind& kind = kind_named(kind_name);
        if (measuring_) {
            fail(Kind::usage, "a measurement is running",
                 "end it first: leave its scans() loop or call close() on it");
        }
        kvt::Step_span span = kvt::measurable_steps(driver_);
        std::string option;
        if (steps) {
            span = {static_cast<double>(steps->first), static_cast<double>(steps->second)};
            option = "range=(" + std::to_string(steps->first) + ", " +
                     std::to_string(steps->second) + ")";
        } else if (angles) {
            span = kvt::steps_of_angles(driver_, angles->first, angles->second);
            option = "angles=(" + kvt::degrees_text(angles->first) + ", " +
                     kvt::degrees_text(angles->second) + ")";
        }
        if (span.first > span.last) {
            fail(Kind::usage, option + ": the first must not lie after the last");
        }
        const std::string beyond = kvt::beyond_measurable(driver_, span);
        if (!beyond.empty()) {
            fail(Kind::usage, option + " is beyond the measurable range", beyond);
        }
        const double first = span.first;
        const double last = span.last;
        const int min_step = driver_.min_step();
        const int max_step = driver_.max_step();
        if (group < 0 || group > 99 || skip < 0 || skip > 9 || count < 0 || count > 99) {
            fail(Kind::usage, "group 0..99, skip 0..9 and count 0..99 (0: endless), not " +
                                  std::to_string(group) + ", " + std::to_string(skip) + " and " +
                                  std::to_string(count));
        }
        bool ranged = false;
        run([&] {
            ranged = driver_.set_scan_range(static_cast<int>(first), static_cast<int>(last), group);
        });
        if (!ranged) {
            driver_failure("this sensor's steps run from " + std::to_string(min_step) + " to " +
                           std::to_string(max_step));
        }
        bool synced = true;
        if (sync) {
            run([&] { synced = driver_.sync_time_stamp(0); });
        }
        if (!synced) {
            driver_failure("time stamps could not be aligned");
        }
        bool started = false;
        // Marked first: interrupted, the request may have reached the sensor all the same.
        measuring_ = true;
        run([&] { started = driver_.start_scans(kind.type, count, skip); });
        if (!started) {
            // The start's own account, before the stop's replaces it.
            const Failure failure = driver_failure_of("the sensor did not start the measurement");
            stop();
            throw failure;
        }
        kind_ = kind.type;
        stride_ = std::max(group, 1);
        left_ = count > 0 ? count : -1;
        number_ = 0;
        steps_ = py::none();
    }

    // The next scan: (number, time stamp, distance, intensity or None, step, radians,
    // degrees). The measurement ends once a counted one has given its last. The steps and
    // angles stay the same from scan to scan of a measurement: they are made once, read-only,
    // and shared.
    py::tuple read()
    {
        bool ok = false;
        int first = 0;
        run([&] {
            ok = kvt::read_scan_values(driver_, kind_, record_);
            first = ok ? kvt::first_scan_step(driver_) : 0;
        });
        if (!ok) {
            driver_failure("reading scan " + std::to_string(number_));
        }
        const int indexes = record_.value_indexes();
        // Nothing that should pass for a scan.
        if (indexes == 0) {
            fail(Kind::refused, "the sensor sent a scan without steps",
                 "scan " + std::to_string(number_));
        }
        if (left_ > 0 && --left_ == 0) {
            measuring_ = false;
        }
        if (steps_.is_none() || first != first_step_ || indexes != record_.size()) {
            make_steps(first, indexes);
        }
        const int slots = record_.echo_slots();
        std::vector<py::ssize_t> shape{indexes};
        if (slots > 1) {
            shape.push_back(slots);
        }
        py::array_t<int64_t> distance(shape);
        std::copy(record_.distance.begin(), record_.distance.end(), distance.mutable_data());
        py::object intensity = py::none();
        if (kvt::has_intensity(kind_)) {
            py::array_t<uint16_t> values(shape);
            std::copy(record_.intensity.begin(), record_.intensity.end(), values.mutable_data());
            intensity = std::move(values);
        }
        return py::make_tuple(number_++, record_.time_stamp, std::move(distance), intensity, steps_,
                              radians_, degrees_);
    }

    // Ends the measurement ("QT"), or tries again to; true when the sensor confirmed it. A
    // stop after Ctrl-C is never interrupted itself.
    bool stop()
    {
        bool confirmed = false;
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            driver_.clear_abort();
            driver_.stop_scans();
            confirmed = driver_.last_error() == kvt::Error::none;
        }
        // Unconfirmed, the sensor may still be sending: a later exchange must not take its
        // scans for an answer, so the link counts as measuring until a stop goes through.
        measuring_ = !confirmed;
        return confirmed;
    }

    // Why the last stop was not confirmed, as vyr says it.
    std::string stop_reason()
    {
        std::string why = lost_reason(detail_or(driver_.last_error_text()));
        if (why.find("may still be measuring") == std::string::npos) {
            why += "; it may still be measuring";
        }
        return why;
    }

    py::dict change_address(const std::string& address, const std::string& netmask,
                            const std::string& gateway, const std::string& form_name, bool force,
                            bool verify, int wait_ms)
    {
        const sc::Network_settings settings = network_settings(address, netmask, gateway);
        const std::map<std::string, sc::Address_form> forms = {
            {"auto", sc::Address_form::automatic},
            {"compact", sc::Address_form::compact},
            {"dotted", sc::Address_form::dotted}};
        const auto form = forms.find(form_name);
        if (form == forms.end()) {
            fail(Kind::usage, "form: expected auto, compact or dotted, not \"" + form_name + "\"");
        }
        namespace av = address_verification;
        const bool simulated = av::simulated_sensor(!serial_, device_);
        if (!force) {
            const std::string refusal = sc::address_refusal(settings, !serial_ && simulated);
            if (!refusal.empty()) {
                fail(Kind::usage,
                     refusal + "; nothing was sent (force=True sends it all the same)");
            }
        }
        sc::Recording_link link(driver_);
        sc::Address_result result = sc::Address_result::refused;
        run([&] { result = sc::change_address(link, settings, form->second); });
        if (result == sc::Address_result::refused) {
            refused(link, "the sensor did not take the new address");
        }
        if (result == sc::Address_result::reboot_failed) {
            fail(Kind::refused, driver_.last_error_text(),
                 "the sensor took the new address, but did not reboot (" +
                     detail_or("no confirmation") + "); it takes effect at its next start");
        }
        close(); // the reboot ended the connection
        py::dict fields;
        fields["address"] = joined(settings.ip_address);
        fields["netmask"] = joined(settings.subnet_mask);
        fields["gateway"] = joined(settings.default_gateway);
        fields["rebooted"] = true;
        if (!verify) {
            return fields;
        }
        av::Request request;
        sc::address_value(settings.ip_address, request.address);
        sc::address_value(settings.subnet_mask, request.netmask);
        sc::address_value(settings.default_gateway, request.gateway);
        request.port = serial_ ? vyr_find::default_port : port_of(target_);
        request.simulated = simulated;
        request.wait_ms = wait_ms;
        av::Outcome outcome;
        std::atomic<bool> stop{false};
        run_interruptible(
            stop, [&] { outcome = av::verify(request, vyr_find::system_interfaces(), &stop); });
        if (outcome.verdict != av::Verdict::answers) {
            fail(Kind::no_answer, "the sensor was not seen at its new address", outcome.text);
        }
        fields["verified"] = outcome.text;
        fields["serial_number"] = latin1(outcome.serial_number);
        return fields;
    }

private:
    static py::object read_only(py::array array)
    {
        array.attr("flags").attr("writeable") = false;
        return std::move(array);
    }

    void make_steps(int first, int indexes)
    {
        kvt::fill_scan_steps(driver_, record_, indexes, stride_);
        const py::ssize_t size = indexes;
        py::array_t<int32_t> step(size);
        py::array_t<double> radians(size);
        py::array_t<double> degrees(size);
        std::copy(record_.step.begin(), record_.step.end(), step.mutable_data());
        std::copy(record_.angle_deg.begin(), record_.angle_deg.end(), degrees.mutable_data());
        // From the degrees as the driver turns degrees into radians.
        double* rad = radians.mutable_data();
        for (py::ssize_t i = 0; i < size; ++i) {
            rad[i] = pi * record_.angle_deg[static_cast<size_t>(i)] / 180;
        }
        steps_ = read_only(std::move(step));
        radians_ = read_only(std::move(radians));
        degrees_ = read_only(std::move(degrees));
        first_step_ = first;
    }

    // Runs a blocking operation without the GIL. A Ctrl-C that came meanwhile stops a
    // running measurement and is then raised.
    template <class Operation> void run(Operation operation)
    {
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            operation();
        }
        if (PyErr_CheckSignals() != 0) {
            py::error_already_set signalled;
            if (measuring_) {
                stop();
            }
            throw signalled;
        }
    }

    std::string detail_or(const std::string& fallback)
    {
        const std::string detail = driver_.last_error_detail();
        return detail.empty() ? fallback : detail;
    }

    // A lost link outweighs every other account of a failure.
    std::string lost_reason(const std::string& reason) const
    {
        return driver_.link_lost() ? std::string("connection lost: ") + driver_.link_lost_text()
                                   : reason;
    }

    Failure driver_failure_of(const std::string& fallback)
    {
        const kvt::Error error = driver_.last_error();
        const bool silent = driver_.link_lost() || error == kvt::Error::receive_error ||
                            error == kvt::Error::no_response || error == kvt::Error::not_connected;
        return {silent ? Kind::no_answer : Kind::refused, driver_.last_error_text(),
                lost_reason(detail_or(fallback))};
    }

    [[noreturn]] void driver_failure(const std::string& fallback)
    {
        throw driver_failure_of(fallback);
    }

    [[noreturn]] void refused(const sc::Recording_link& link, const std::string& text)
    {
        const bool silent = link.unanswered() || driver_.link_lost();
        fail(silent ? Kind::no_answer : Kind::refused, text, lost_reason(link.why()));
    }

    static int port_of(const std::string& target)
    {
        return std::stoi(target.substr(target.rfind(':') + 1));
    }

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

py::dict endpoint_fields(const vyr_find::Endpoint& place)
{
    py::dict item;
    item["target"] = latin1(place.target());
    item["serial"] = place.serial;
    item["address"] = place.serial ? py::object(py::none()) : py::object(py::str(place.address));
    item["port"] = place.serial ? py::object(py::none()) : py::object(py::int_(place.port));
    item["device"] = place.serial ? py::object(latin1(place.device)) : py::object(py::none());
    item["baudrate"] = place.serial && place.baudrate > 0 ? py::object(py::int_(place.baudrate))
                                                          : py::object(py::none());
    return item;
}

py::dict find(std::optional<std::vector<std::string>> ranges, int port, int timeout_ms,
              std::optional<std::vector<std::string>> devices, bool tcp, bool serial,
              bool all_ports)
{
    if (port < 1 || port > 65535 || timeout_ms < 1 || timeout_ms > 60000) {
        fail(Kind::usage, "port 1..65535 and timeout 0.001..60 s");
    }
    vyr_find::Network_search network;
    network.port = port;
    network.timeout_ms = timeout_ms;
    std::vector<std::string> notes;
    if (ranges) {
        for (const std::string& text : *ranges) {
            vyr_find::Address_range range;
            std::string error;
            if (!vyr_find::parse_range(text, range, error)) {
                fail(Kind::usage, error);
            }
            network.ranges.push_back(range);
        }
    } else if (tcp) {
        vyr_find::Default_ranges defaults = vyr_find::default_ranges(vyr_find::system_interfaces());
        network.ranges = defaults.ranges;
        notes = defaults.notes;
    }
    if (!tcp) {
        network.ranges.clear();
    }
    vyr_find::Serial_search serial_search;
    if (serial) {
        serial_search.devices = devices ? *devices : vyr_find::listed_ports(all_ports);
        if (!devices && serial_search.devices.empty() && !all_ports) {
            notes.push_back("No serial port is marked as a sensor's; all_ports=True tries every "
                            "port.");
        }
    }
    std::mutex mutex;
    std::vector<vyr_find::Found_sensor> sensors;
    std::vector<vyr_find::Silent_endpoint> silent;
    vyr_find::Search_report report;
    report.found = [&](const vyr_find::Found_sensor& sensor) {
        std::lock_guard<std::mutex> lock(mutex);
        sensors.push_back(sensor);
    };
    report.silent = [&](const vyr_find::Silent_endpoint& each) {
        std::lock_guard<std::mutex> lock(mutex);
        silent.push_back(each);
    };
    std::atomic<bool> stop{false};
    run_interruptible(stop, [&] {
        std::thread serial_thread;
        if (!serial_search.devices.empty()) {
            serial_thread =
                std::thread([&] { vyr_find::search_serial(serial_search, report, &stop); });
        }
        if (!network.ranges.empty()) {
            vyr_find::search_network(network, report, &stop);
        }
        if (serial_thread.joinable()) {
            serial_thread.join();
        }
    });
    std::sort(sensors.begin(), sensors.end(),
              [](const auto& a, const auto& b) { return comes_before(a.endpoint, b.endpoint); });
    std::sort(silent.begin(), silent.end(),
              [](const auto& a, const auto& b) { return comes_before(a.endpoint, b.endpoint); });
    py::list found;
    for (const vyr_find::Found_sensor& sensor : sensors) {
        py::dict item = endpoint_fields(sensor.endpoint);
        item["product"] = latin1(sensor.identity.product);
        item["firmware_version"] = latin1(sensor.identity.firmware_version);
        item["serial_number"] = latin1(sensor.identity.serial_number);
        item["measuring"] = sensor.measuring;
        found.append(item);
    }
    py::list quiet;
    for (const vyr_find::Silent_endpoint& each : silent) {
        py::dict item = endpoint_fields(each.endpoint);
        item["reason"] = latin1(each.reason);
        quiet.append(item);
    }
    py::dict outcome;
    outcome["sensors"] = found;
    outcome["silent"] = quiet;
    outcome["notes"] = notes;
    return outcome;
}

py::list ports()
{
    std::vector<kvt::Port_entry> entries;
    {
        py::gil_scoped_release nogil;
        entries = kvt::Vyr_driver::list_port_entries();
    }
    py::list listed;
    for (const kvt::Port_entry& entry : entries) {
        listed.append(py::make_tuple(latin1(entry.name), entry.sensor, latin1(entry.description)));
    }
    return listed;
}

// Why these settings cannot work, or "" when they can; nothing is sent.
std::string address_refusal(const std::string& address, const std::string& netmask,
                            const std::string& gateway, bool sensor_on_loopback)
{
    return sc::address_refusal(network_settings(address, netmask, gateway), sensor_on_loopback);
}

} // namespace

PYBIND11_MODULE(_vyr, m)
{
    m.doc() = "The compiled half of the vyr package; use vyr instead.";
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const Failure& failure) {
            translate_failure(failure);
        }
    });

    py::class_<Link>(m, "Link", "One sensor link; vyr.Sensor wraps it.")
        .def(py::init<>())
        .def("open", &Link::open, py::arg("serial"), py::arg("device"), py::arg("number"),
             py::arg("timeout_ms"))
        .def("close", &Link::close)
        .def_property_readonly("is_open", &Link::is_open)
        .def_property_readonly("target", &Link::target)
        .def_property_readonly("measuring", &Link::measuring)
        .def("set_timeout", &Link::set_timeout)
        .def("info", &Link::info)
        .def("set_heater", &Link::set_heater)
        .def("phase", &Link::phase)
        .def("set_phase", &Link::set_phase)
        .def("reboot", &Link::reboot)
        .def("start", &Link::start, py::arg("kind"), py::arg("steps"), py::arg("angles"),
             py::arg("group"), py::arg("skip"), py::arg("count"), py::arg("sync"))
        .def("read", &Link::read)
        .def("stop", &Link::stop)
        .def("stop_reason", &Link::stop_reason)
        .def("change_address", &Link::change_address);

    m.def("find", &find, py::arg("ranges"), py::arg("port"), py::arg("timeout_ms"),
          py::arg("devices"), py::arg("tcp"), py::arg("serial"), py::arg("all_ports"));
    m.def("ports", &ports);
    m.def("address_refusal", &address_refusal);
    py::list kinds;
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        kinds.append(kind.cli_name);
    }
    m.attr("KINDS") = py::tuple(kinds);
    m.attr("DEFAULT_PORT") = vyr_find::default_port;
}
