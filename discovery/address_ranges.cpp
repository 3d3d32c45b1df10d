#include "address_ranges.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace vyr_find {

namespace {

// Digits only, no sign or blank, within [0, high].
bool parse_small(const std::string& text, unsigned long high, unsigned long& value)
{
    if (text.empty() || text.size() > 5) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= high;
}

uint32_t mask_of(int prefix)
{
    return prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix);
}

// The usable hosts of a network: a network of 4 or more leaves out its first and last.
Address_range hosts_of(uint32_t address, uint32_t mask)
{
    Address_range range{address & mask, (address & mask) | ~mask};
    if (range.size() >= 4) {
        ++range.first;
        --range.last;
    }
    return range;
}

} // namespace

bool parse_address(const std::string& text, uint32_t& address)
{
    address = 0;
    size_t begin = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? text.find('.', begin) : text.size();
        unsigned long value = 0;
        if (end == std::string::npos || !parse_small(text.substr(begin, end - begin), 255, value)) {
            return false;
        }
        address = (address << 8) | static_cast<uint32_t>(value);
        begin = end + 1;
    }
    return true;
}

std::string address_text(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool is_loopback(uint32_t address)
{
    return (address >> 24) == 127;
}

bool parse_range(const std::string& text, Address_range& range, std::string& error)
{
    error = "\"" + text + "\" is no address range (A.B.C.D/N, A.B.C.D-E or A.B.C.D)";
    const size_t slash = text.find('/');
    const size_t dash = text.find('-');
    uint32_t address = 0;
    if (slash != std::string::npos) {
        unsigned long prefix = 0;
        if (!parse_address(text.substr(0, slash), address) ||
            !parse_small(text.substr(slash + 1), 32, prefix)) {
            return false;
        }
        if (prefix < 16) {
            error = "\"" + text + "\" is larger than a /16, too many addresses to search";
            return false;
        }
        range = hosts_of(address, mask_of(static_cast<int>(prefix)));
    } else if (dash != std::string::npos) {
        unsigned long last = 0;
        if (!parse_address(text.substr(0, dash), address) ||
            !parse_small(text.substr(dash + 1), 255, last) || last < (address & 0xFF)) {
            return false;
        }
        range = Address_range{address, (address & ~uint32_t(0xFF)) | static_cast<uint32_t>(last)};
    } else {
        if (!parse_address(text, address)) {
            return false;
        }
        range = Address_range{address, address};
    }
    error.clear();
    return true;
}

std::vector<Interface> system_interfaces()
{
    std::vector<Interface> list;
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0) {
        return list;
    }
    for (const ifaddrs* entry = head; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask) {
            continue;
        }
        Interface item;
        item.name = entry->ifa_name ? entry->ifa_name : "";
        item.address =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        item.netmask =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        item.up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0 || is_loopback(item.address);
        list.push_back(item);
    }
    freeifaddrs(head);
    return list;
}

Default_ranges default_ranges(const std::vector<Interface>& interfaces)
{
    Default_ranges result;
    bool factory_reachable = false;
    std::string first_name;
    for (const Interface& item : interfaces) {
        if (!item.up || item.loopback || is_loopback(item.address)) {
            continue;
        }
        if (first_name.empty()) {
            first_name = item.name;
        }
        Address_range hosts = hosts_of(item.address, item.netmask);
        if (hosts.contains(factory_address)) {
            factory_reachable = true;
        }
        if (hosts.size() > max_default_range) {
            // The aligned block of the computer's own address: a /22 inside the network.
            const uint32_t block = item.address & ~(max_default_range - 1);
            hosts.first = std::max(hosts.first, block);
            hosts.last = std::min(hosts.last, block + (max_default_range - 1));
        }
        // Its own address is no sensor; the two sides around it stay.
        Address_range parts[2] = {{hosts.first, item.address - 1}, {item.address + 1, hosts.last}};
        for (const Address_range& part : parts) {
            if (part.first > part.last || !hosts.contains(part.first) ||
                !hosts.contains(part.last) ||
                std::find(result.ranges.begin(), result.ranges.end(), part) !=
                    result.ranges.end()) {
                continue;
            }
            result.ranges.push_back(part);
        }
    }
    if (first_name.empty()) {
        result.notes.push_back("No network interface is up besides loopback: nothing to search "
                               "over TCP.");
    }
    if (!factory_reachable) {
        result.notes.push_back(
            "The factory address 192.168.0.10 lies in none of this computer's networks; to "
            "reach a sensor that still has it, add an address in its network, e.g. sudo ip "
            "addr add 192.168.0.20/24 dev " +
            (first_name.empty() ? std::string("<interface>") : first_name) +
            ", then search again.");
    }
    return result;
}

} // namespace vyr_find
