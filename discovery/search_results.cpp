#include "search_results.h"

#include "address_ranges.h"

namespace vyr_find {

std::string Endpoint::target() const
{
    return serial ? device : address + ":" + std::to_string(port);
}

bool comes_before(const Endpoint& a, const Endpoint& b)
{
    if (a.serial != b.serial) {
        return !a.serial;
    }
    if (a.serial) {
        return a.device < b.device;
    }
    uint32_t left = 0, right = 0;
    parse_address(a.address, left);
    parse_address(b.address, right);
    return left < right;
}

} // namespace vyr_find
