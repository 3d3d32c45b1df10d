#include "addresses.h"

#include "address_check.h"
#include "failures.h"
#include "ipv4_text.h"

#include <algorithm>
#include <utility>

namespace vyr_python {

std::optional<std::string> canonical_ipv4(const std::string& text)
{
    uint8_t octets[4];
    if (text.find('\0') != std::string::npos || ipv4_from_text(text.c_str(), octets) != 0) {
        return std::nullopt;
    }
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

std::string not_an_address(const std::string& text)
{
    return "\"" + text + "\": not an IPv4 address (four numbers 0..255 with dots)";
}

sc::Network_settings network_settings(const std::string& address, const std::string& netmask,
                                      const std::string& gateway)
{
    sc::Network_settings settings;
    const std::pair<const std::string*, sc::Address*> parts[] = {
        {&address, &settings.ip_address},
        {&netmask, &settings.subnet_mask},
        {&gateway, &settings.default_gateway},
    };
    for (const auto& [text, fields] : parts) {
        const std::optional<std::string> canonical = canonical_ipv4(*text);
        if (!canonical) {
            fail(Kind::usage, not_an_address(*text));
        }
        size_t begin = 0;
        for (std::string& field : *fields) {
            const size_t end = std::min(canonical->find('.', begin), canonical->size());
            field = canonical->substr(begin, end - begin);
            begin = end + 1;
        }
    }
    return settings;
}

std::string joined(const sc::Address& fields)
{
    return fields[0] + "." + fields[1] + "." + fields[2] + "." + fields[3];
}

std::string address_refusal(const std::string& address, const std::string& netmask,
                            const std::string& gateway, bool sensor_on_loopback)
{
    return sc::address_refusal(network_settings(address, netmask, gateway), sensor_on_loopback);
}

} // namespace vyr_python
