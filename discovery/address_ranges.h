#ifndef VYR_DISCOVERY_ADDRESS_RANGES_H
#define VYR_DISCOVERY_ADDRESS_RANGES_H

// IPv4 address ranges to search, as typed and as the computer's own networks give them.

#include <cstdint>
#include <string>
#include <vector>

namespace vyr_find {

// Addresses in host byte order, first to last inclusive.
struct Address_range
{
    uint32_t first = 0;
    uint32_t last = 0;

    uint64_t size() const { return uint64_t(last) - first + 1; }
    bool contains(uint32_t address) const { return address >= first && address <= last; }
    bool operator==(const Address_range& other) const
    {
        return first == other.first && last == other.last;
    }
};

// One search covers at most a /16; more would take minutes and is surely a typing error.
constexpr uint64_t max_range_size = 65536;

// "A.B.C.D/N" (N from 16 to 32; a network of 4 or more addresses leaves out its network
// and broadcast addresses), "A.B.C.D-E" (last byte D to E) or a single "A.B.C.D".
// False with the reason in error.
bool parse_range(const std::string& text, Address_range& range, std::string& error);

bool parse_address(const std::string& text, uint32_t& address);
std::string address_text(uint32_t address);

bool is_loopback(uint32_t address);

// One network interface as the system lists it (IPv4 only).
struct Interface
{
    std::string name;
    uint32_t address = 0;
    uint32_t netmask = 0;
    bool up = false;
    bool loopback = false;
};

// The IPv4 interfaces of this computer (getifaddrs); empty when the list cannot be read.
std::vector<Interface> system_interfaces();

// The sensor's address as it leaves the factory.
constexpr uint32_t factory_address = 0xC0A8000A; // 192.168.0.10

// Larger networks are searched only in this many addresses around the computer's own.
constexpr uint32_t max_default_range = 1024;

struct Default_ranges
{
    std::vector<Address_range> ranges;
    std::vector<std::string> notes; // for the user, one sentence each
};

// The network of every interface that is up and not loopback, less the computer's own
// address, capped at the max_default_range addresses around it; a note when the factory
// address lies in none of them.
Default_ranges default_ranges(const std::vector<Interface>& interfaces);

} // namespace vyr_find

#endif
