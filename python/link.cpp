#include "link.h"

#include "address_check.h"
#include "address_verification.h"
#include "addresses.h"
#include "connect_reason.h"
#include "measurement_kinds.h"
#include "network_search.h"
#include "scan_range.h"
#include "sensor_information.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>
#include <vector>

namespace vyr_python {

namespace {

const double pi = 3.141592653589793;

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

} // namespace

template <class Operation> void Link::run(Operation operation)
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

Link::~Link()
{
    // A measurement left running would go on sending to nobody.
    if (measuring_) {
        py::gil_scoped_release nogil;
        driver_.stop_scans();
    }
}

void Link::open(bool serial, const std::string& device, long number, int timeout_ms)
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
            fail(Kind::usage,
                 "port: expected a whole number from 1 to 65535, not " + std::to_string(number));
        }
        name = *address;
    } else if (device.empty() || device.find('\0') != std::string::npos) {
        // The device is handed on as a C string: a NUL would open another one.
        fail(Kind::usage, "device: expected a serial device name such as ttyACM0");
    } else if (number < 1 || number > 4000000) {
        fail(Kind::usage,
             "baudrate: expected a whole number from 1 to 4000000, not " + std::to_string(number));
    }
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        opened =
            driver_.open(name.c_str(), number, serial ? kvt::Lidar::Serial : kvt::Lidar::Ethernet);
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

void Link::close()
{
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        driver_.close();
    }
    measuring_ = false; // written under the GIL only, as Python reads it
}

bool Link::is_open()
{
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(mutex_);
    return driver_.is_open();
}

void Link::set_timeout(int msec)
{
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(mutex_);
    driver_.set_timeout(msec);
}

py::dict Link::info()
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
                 lost_reason(info.error_detail.empty() ? std::string("reading ") + Info::key(which)
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

void Link::set_heater(bool on)
{
    sc::Recording_link link(driver_);
    bool taken = false;
    run([&] { taken = sc::set_heater(link, on); });
    if (!taken) {
        refused(link, "the sensor did not take the heater command");
    }
}

int Link::phase()
{
    sc::Recording_link link(driver_);
    int degrees = -1;
    run([&] { degrees = sc::get_phase(link); });
    if (degrees < 0) {
        refused(link, "the sensor did not report its phase");
    }
    return degrees;
}

void Link::set_phase(int degrees)
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

void Link::reboot()
{
    run([&] { driver_.reboot(); });
    if (driver_.last_error() != kvt::Error::none) {
        driver_failure("the sensor did not confirm the reboot");
    }
    close(); // the sensor ends the connection as it goes down
}

void Link::start(const std::string& kind_name, std::optional<std::pair<int, int>> steps,
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
        option =
            "range=(" + std::to_string(steps->first) + ", " + std::to_string(steps->second) + ")";
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

py::tuple Link::read()
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

bool Link::stop()
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

std::string Link::stop_reason()
{
    std::string why = lost_reason(detail_or(driver_.last_error_text()));
    if (why.find("may still be measuring") == std::string::npos) {
        why += "; it may still be measuring";
    }
    return why;
}

py::dict Link::change_address(const std::string& address, const std::string& netmask,
                              const std::string& gateway, const std::string& form_name, bool force,
                              bool verify, int wait_ms)
{
    const sc::Network_settings settings = network_settings(address, netmask, gateway);
    const std::map<std::string, sc::Address_form> forms = {{"auto", sc::Address_form::automatic},
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
            fail(Kind::usage, refusal + "; nothing was sent (force=True sends it all the same)");
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
    run_interruptible(stop,
                      [&] { outcome = av::verify(request, vyr_find::system_interfaces(), &stop); });
    if (outcome.verdict != av::Verdict::answers) {
        fail(Kind::no_answer, "the sensor was not seen at its new address", outcome.text);
    }
    fields["verified"] = outcome.text;
    fields["serial_number"] = latin1(outcome.serial_number);
    return fields;
}

py::object Link::read_only(py::array array)
{
    array.attr("flags").attr("writeable") = false;
    return std::move(array);
}

void Link::make_steps(int first, int indexes)
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

std::string Link::detail_or(const std::string& fallback)
{
    const std::string detail = driver_.last_error_detail();
    return detail.empty() ? fallback : detail;
}

std::string Link::lost_reason(const std::string& reason) const
{
    return driver_.link_lost() ? std::string("connection lost: ") + driver_.link_lost_text()
                               : reason;
}

Failure Link::driver_failure_of(const std::string& fallback)
{
    const kvt::Error error = driver_.last_error();
    const bool silent = driver_.link_lost() || error == kvt::Error::receive_error ||
                        error == kvt::Error::no_response || error == kvt::Error::not_connected;
    return {silent ? Kind::no_answer : Kind::refused, driver_.last_error_text(),
            lost_reason(detail_or(fallback))};
}

void Link::driver_failure(const std::string& fallback)
{
    throw driver_failure_of(fallback);
}

void Link::refused(const sc::Recording_link& link, const std::string& text)
{
    const bool silent = link.unanswered() || driver_.link_lost();
    fail(silent ? Kind::no_answer : Kind::refused, text, lost_reason(link.why()));
}

int Link::port_of(const std::string& target)
{
    return std::stoi(target.substr(target.rfind(':') + 1));
}

} // namespace vyr_python
