#include "address_verification.h"

#include "network_search.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace address_verification {

namespace {

using Clock = std::chrono::steady_clock;

std::string endpoint_text(const Request& request)
{
    const std::string address = vyr_find::address_text(request.address);
    return request.port == vyr_find::default_port ? address
                                                  : address + ":" + std::to_string(request.port);
}

int prefix_of(uint32_t mask)
{
    int length = 0;
    for (; mask != 0; mask <<= 1) {
        ++length;
    }
    return length;
}

// An address for this computer in the new subnet: the next host after the sensor's that is
// not the gateway.
uint32_t suggested_address(const Request& request)
{
    const uint32_t network = request.address & request.netmask;
    const uint32_t hosts = ~request.netmask - 1; // less the network and broadcast addresses
    uint32_t candidate = request.address;
    for (uint32_t tried = 0; tried < 3 && hosts > 0; ++tried) {
        candidate = network + 1 + (candidate - network) % hosts;
        if (candidate != request.address && candidate != request.gateway) {
            return candidate;
        }
    }
    return candidate;
}

std::string how_to_reach(const Request& request, const std::vector<vyr_find::Interface>& interfaces)
{
    std::string device = "<interface>";
    for (const vyr_find::Interface& interface : interfaces) {
        if (interface.up && !interface.loopback) {
            device = interface.name;
            break;
        }
    }
    const std::string network = vyr_find::address_text(request.address & request.netmask) + "/" +
                                std::to_string(prefix_of(request.netmask));
    return "this computer has no address in " + network + ", so " + endpoint_text(request) +
           " cannot be checked; to reach the sensor add one, e.g. sudo ip addr add " +
           vyr_find::address_text(suggested_address(request)) + "/" +
           std::to_string(prefix_of(request.netmask)) + " dev " + device;
}

} // namespace

bool simulated_sensor(bool ethernet, const std::string& device)
{
    uint32_t address = 0;
    if (ethernet) {
        return device == "localhost" ||
               (vyr_find::parse_address(device, address) && vyr_find::is_loopback(address));
    }
    return device.compare(0, 9, "/dev/pts/") == 0;
}

const vyr_find::Interface* reaching_interface(const Request& request,
                                             const std::vector<vyr_find::Interface>& interfaces)
{
    const bool loopback_target = vyr_find::is_loopback(request.address);
    for (const vyr_find::Interface& interface : interfaces) {
        if (!interface.up) {
            continue;
        }
        if (loopback_target ? interface.loopback
                            : (interface.address & request.netmask) ==
                                  (request.address & request.netmask)) {
            return &interface;
        }
    }
    return nullptr;
}

Outcome verify(const Request& request, const std::vector<vyr_find::Interface>& interfaces,
               const std::atomic<bool>* stop)
{
    Outcome outcome;
    if (request.simulated && !vyr_find::is_loopback(request.address)) {
        outcome.verdict = Verdict::not_checked;
        outcome.text = "not checked: a simulated sensor stays on loopback, not at " +
                       endpoint_text(request);
        return outcome;
    }
    if (!reaching_interface(request, interfaces)) {
        outcome.verdict = Verdict::unreachable;
        outcome.text = how_to_reach(request, interfaces);
        return outcome;
    }
    vyr_find::Network_search search;
    search.ranges = {{request.address, request.address}};
    search.port = request.port;
    search.timeout_ms = std::max(100, std::min(request.poll_ms, vyr_find::default_connect_timeout_ms));
    search.max_in_flight = 1;
    bool found = false;
    vyr_find::Search_report report;
    report.found = [&](const vyr_find::Found_sensor& sensor) {
        found = true;
        outcome.serial_number = sensor.identity.serial_number;
    };
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(request.wait_ms);
    while (!(stop && *stop)) {
        const Clock::time_point next = Clock::now() + std::chrono::milliseconds(request.poll_ms);
        vyr_find::search_network(search, report, stop);
        if (found) {
            outcome.verdict = Verdict::answers;
            outcome.text = "answers at " + endpoint_text(request) + " (serial " +
                           (outcome.serial_number.empty() ? "not given" : outcome.serial_number) +
                           ")";
            return outcome;
        }
        if (Clock::now() >= end) {
            break;
        }
        // In slices, so that a stop is seen soon.
        for (Clock::time_point now = Clock::now(); now < std::min(next, end) && !(stop && *stop);
             now = Clock::now()) {
            std::this_thread::sleep_for(std::min<Clock::duration>(std::min(next, end) - now,
                                                                  std::chrono::milliseconds(50)));
        }
    }
    outcome.verdict = Verdict::not_seen;
    const int seconds = (request.wait_ms + 999) / 1000;
    outcome.text = "not seen at " + endpoint_text(request) + " after " + std::to_string(seconds) + " s";
    return outcome;
}

} // namespace address_verification
