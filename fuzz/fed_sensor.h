#ifndef VYR_FUZZ_FED_SENSOR_H
#define VYR_FUZZ_FED_SENSOR_H
// What every target shares: one loopback feed per process and the simulated
// sensor's real reply to opening, so that fuzzed bytes reach the operation
// after the open rather than dying in it.
#include "loopback_feed.h"
#include "vyr_sensor.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

Loopback_feed& feed();

// The bytes the simulated sensor sends while the engine opens it over TCP.
const std::string& open_reply();

// Everything after the first byte, which the targets use to pick an operation.
std::string rest(const uint8_t* data, size_t size);

// Arms the feed with parts for the next connection and notes the descriptors open now.
void begin_input(std::vector<Feed_part> parts);
// Waits until the feed has let go of the connection, then fails if the host
// left a descriptor open.
void end_input();

// begin_input with the parts of open_reply() ahead of reply, so the next open succeeds.
void serve_after_open(const std::vector<Feed_part>& reply);

// serve_after_open, then open; a failed open is closed and tried again, and
// only repeated failure is a finding.
void open_after_reply(const std::vector<Feed_part>& reply, const std::function<bool()>& open,
                      const std::function<void()>& close);

// Serves the open reply and then reply, and opens sensor on it.
void open_fed(vyr_sensor& sensor, const std::vector<Feed_part>& reply);
// Closes sensor, then end_input().
void close_fed(vyr_sensor& sensor);

[[noreturn]] void fuzz_fail(const char* what);

#endif
