#ifndef VYR_PYTHON_SEARCH_H
#define VYR_PYTHON_SEARCH_H

// The search for sensors on networks and serial ports, and the serial ports there are.

#include "failures.h"
#include "search_results.h"

#include <optional>
#include <string>
#include <vector>

namespace vyr_python {

// Where a sensor is, as the fields of vyr's search results.
py::dict endpoint_fields(const vyr_find::Endpoint& place);

// Searches the ranges (or this computer's networks) and the devices (or the listed ports);
// {"sensors", "silent", "notes"}. Ctrl-C ends it.
py::dict find(std::optional<std::vector<std::string>> ranges, int port, int timeout_ms,
              std::optional<std::vector<std::string>> devices, bool tcp, bool serial,
              bool all_ports);

// The serial ports as (name, sensor, description).
py::list ports();

} // namespace vyr_python

#endif
