#ifndef VYR_DISCOVERY_SEARCH_RESULTS_H
#define VYR_DISCOVERY_SEARCH_RESULTS_H

// What a search reports, endpoint by endpoint, as it learns it.

#include "identification.h"

#include <atomic>
#include <functional>
#include <string>

namespace vyr_find {

struct Endpoint
{
    bool serial = false;
    std::string address; // TCP: IPv4 text
    int port = 0;
    std::string device; // serial: the device path
    long baudrate = 0;  // serial: the rate it answered at; 0 when none

    std::string target() const; // "127.0.0.1:10940", "/dev/ttyACM0"
};

// The order results are shown in: addresses numerically, then the serial ports by name.
bool comes_before(const Endpoint& a, const Endpoint& b);

struct Found_sensor
{
    Endpoint endpoint;
    Identity identity;      // empty when a measurement left no room for the answer
    bool measuring = false; // scans were streaming: left as it was, never stopped
};

// An endpoint that took the connection or the port but gave no sensor's answer.
struct Silent_endpoint
{
    Endpoint endpoint;
    std::string reason; // "no answer", "not a sensor's answer", "in use", ...
};

// Called on the searching thread (the serial search: on one thread at a time).
struct Search_report
{
    std::function<void(const Found_sensor&)> found;
    std::function<void(const Silent_endpoint&)> silent;
    // Endpoints settled so far of all to try; also called now and then without change,
    // so that a caller can set the stop flag in time.
    std::function<void(long done, long total)> progress;
};

// Set by the caller to end a search early; the search checks it at least every 50 ms.
using Stop_flag = std::atomic<bool>;

} // namespace vyr_find

#endif
