#ifndef VYR_DISCOVERY_SERIAL_SEARCH_H
#define VYR_DISCOVERY_SERIAL_SEARCH_H

// Sensors on serial ports: each port on a thread of its own, tried at each rate with "VV"
// alone. A port someone else holds is reported and left alone; a sensor that is measuring
// is reported so and left measuring.

#include "search_results.h"

#include <string>
#include <vector>

namespace vyr_find {

struct Serial_search
{
    std::vector<std::string> devices; // names under /dev or paths
    std::vector<long> rates{115200, 38400, 19200};
    int rate_timeout_ms = 300; // the wait for an answer at each rate
};

// The ports the port list marks as a sensor's, or all of them.
std::vector<std::string> listed_ports(bool all_ports);

// Blocks until every port is settled or stop is set. Sends nothing but "VV".
void search_serial(const Serial_search& search, const Search_report& report,
                   const Stop_flag* stop = nullptr);

} // namespace vyr_find

#endif
