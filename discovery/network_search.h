#ifndef VYR_DISCOVERY_NETWORK_SEARCH_H
#define VYR_DISCOVERY_NETWORK_SEARCH_H

// Sensors over TCP in address ranges: a non-blocking connect to every address at once
// (a capped number in flight), then "VV" to those that accept.

#include "address_ranges.h"
#include "search_results.h"

#include <vector>

namespace vyr_find {

constexpr int default_port = 10940;
constexpr int default_connect_timeout_ms = 500;
constexpr int max_sockets_in_flight = 512;

struct Network_search
{
    std::vector<Address_range> ranges;
    int port = default_port;
    // For the connect, and again for the answer once connected.
    int timeout_ms = default_connect_timeout_ms;
    int max_in_flight = max_sockets_in_flight;
};

struct Network_outcome
{
    long addresses = 0; // tried
    bool stopped = false;
};

// Blocks until every address is settled or stop is set. Sends nothing but "VV".
Network_outcome search_network(const Network_search& search, const Search_report& report,
                               const Stop_flag* stop = nullptr);

// Sorted, overlapping and touching ranges joined.
std::vector<Address_range> merged(std::vector<Address_range> ranges);

// The sockets a search may hold at once within the descriptor limit, which is raised
// towards its hard limit when it is lower than wanted.
int sockets_allowed(int wanted);

} // namespace vyr_find

#endif
