#include "address_check.h"

namespace setting_commands {

namespace {

bool field_value(const std::string& field, uint32_t& value)
{
    if (field.size() > 3) {
        return false;
    }
    value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + uint32_t(c - '0');
    }
    return value <= 255;
}

std::string network_text(uint32_t address, uint32_t mask)
{
    return dotted_text(address & mask) + "/" + std::to_string(prefix_length(mask));
}

// Why address cannot be a host's, or empty.
std::string host_refusal(uint32_t address, uint32_t mask, bool sensor_on_loopback)
{
    const std::string text = dotted_text(address);
    const uint32_t first_octet = address >> 24;
    if (first_octet == 0) {
        return text + " is in 0.0.0.0/8, which no host may use";
    }
    if (first_octet == 127 && !sensor_on_loopback) {
        return text + " is a loopback address: nothing could reach the sensor there";
    }
    if (first_octet >= 224 && first_octet <= 239) {
        return text + " is a multicast address";
    }
    if (first_octet >= 240) {
        return text + " is a reserved address";
    }
    if ((address & mask) == address) {
        return text + " is the network address of " + network_text(address, mask);
    }
    if ((address | ~mask) == address) {
        return text + " is the broadcast address of " + network_text(address, mask);
    }
    return {};
}

} // namespace

bool address_value(const Address& fields, uint32_t& value)
{
    value = 0;
    for (const std::string& field : fields) {
        uint32_t octet = 0;
        if (!field_value(field, octet)) {
            return false;
        }
        value = value << 8 | octet;
    }
    return true;
}

bool address_value(const std::string& text, uint32_t& value)
{
    Address fields;
    size_t begin = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t end = i + 1 < fields.size() ? text.find('.', begin) : text.size();
        if (end == std::string::npos || end == begin) {
            return false;
        }
        fields[i] = text.substr(begin, end - begin);
        begin = end + 1;
    }
    return address_value(fields, value);
}

std::string dotted_text(uint32_t value)
{
    return std::to_string(value >> 24) + "." + std::to_string(value >> 16 & 255) + "." +
           std::to_string(value >> 8 & 255) + "." + std::to_string(value & 255);
}

int prefix_length(uint32_t mask)
{
    const uint32_t host_part = ~mask;
    if ((host_part & (host_part + 1)) != 0) {
        return -1; // a one after a zero
    }
    int length = 0;
    for (uint32_t bits = mask; bits != 0; bits <<= 1) {
        ++length;
    }
    return length;
}

std::string address_refusal(const Network_settings& settings, bool sensor_on_loopback)
{
    uint32_t address = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    if (!address_value(settings.ip_address, address)) {
        return "the IP address is not four numbers from 0 to 255";
    }
    if (!address_value(settings.subnet_mask, mask)) {
        return "the subnet mask is not four numbers from 0 to 255";
    }
    if (!address_value(settings.default_gateway, gateway)) {
        return "the gateway is not four numbers from 0 to 255";
    }
    const int prefix = prefix_length(mask);
    if (prefix < 0) {
        return "the subnet mask " + dotted_text(mask) + " is not contiguous (ones, then zeros)";
    }
    if (prefix == 0) {
        return "the subnet mask 0.0.0.0 (/0) leaves no network";
    }
    if (prefix > 30) {
        return "the subnet mask " + dotted_text(mask) + " (/" + std::to_string(prefix) +
               ") leaves no room for a host beside its network and broadcast addresses";
    }
    std::string refusal = host_refusal(address, mask, sensor_on_loopback);
    if (!refusal.empty()) {
        return refusal;
    }
    if (gateway != 0 && (gateway & mask) != (address & mask)) {
        return "the gateway " + dotted_text(gateway) + " is outside " + network_text(address, mask) +
               " (0.0.0.0 for none)";
    }
    return {};
}

} // namespace setting_commands
