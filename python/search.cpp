#include "search.h"

#include "address_ranges.h"
#include "network_search.h"
#include "serial_search.h"
#include "vyr_driver.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace vyr_python {

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

} // namespace vyr_python
