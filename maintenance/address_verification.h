#ifndef VYR_MAINTENANCE_ADDRESS_VERIFICATION_H
#define VYR_MAINTENANCE_ADDRESS_VERIFICATION_H

// After a sensor rebooted into a new address: whether it answers there. Asks nothing but
// "VV". Blocks; callers run it off their user interface.

#include "address_ranges.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace address_verification {

constexpr int default_wait_ms = 30000;
constexpr int default_poll_ms = 500;

struct Request
{
    uint32_t address = 0; // the sensor's new address, host byte order
    uint32_t netmask = 0;
    uint32_t gateway = 0; // only kept clear of when suggesting an address for this computer
    int port = 0;
    int wait_ms = default_wait_ms;
    int poll_ms = default_poll_ms;
    // The sensor was reached at a loopback address or over a pseudo-terminal: a simulated
    // one, which can only move to a loopback address.
    bool simulated = false;
};

enum class Verdict { answers, not_seen, unreachable, not_checked };

struct Outcome
{
    Verdict verdict = Verdict::not_seen;
    std::string text; // one sentence for the user
    std::string serial_number;
};

// Whether an open of this type and device reached a simulated sensor.
bool simulated_sensor(bool ethernet, const std::string& device);

// The interface of this computer with an address in the new subnet (for a loopback
// address: any loopback interface), or nullptr.
const vyr_find::Interface* reaching_interface(const Request& request,
                                             const std::vector<vyr_find::Interface>& interfaces);

// Waits for the sensor at its new address, polling until it answers, wait_ms pass or stop
// is set; without an interface that reaches it, says how to add one and waits for nothing.
// A simulated sensor is never looked for away from loopback.
Outcome verify(const Request& request, const std::vector<vyr_find::Interface>& interfaces,
               const std::atomic<bool>* stop = nullptr);

} // namespace address_verification

#endif
