#ifndef VYR_MAINTENANCE_ADDRESS_CHECK_H
#define VYR_MAINTENANCE_ADDRESS_CHECK_H

// Network settings that a sensor could never be reached with are refused before anything
// is sent: a sensor that took them would be lost until its factory reset.

#include "setting_commands.h"

#include <cstdint>
#include <string>

namespace setting_commands {

// The fields as one address in host byte order (an empty field is 0); false when a field
// is not a decimal number from 0 to 255.
bool address_value(const Address& fields, uint32_t& value);
// "A.B.C.D" as a value; false unless four decimal numbers 0..255.
bool address_value(const std::string& text, uint32_t& value);
std::string dotted_text(uint32_t value);

// The prefix length of a contiguous mask, or -1.
int prefix_length(uint32_t mask);

// Why the settings cannot work, or an empty text when they can. sensor_on_loopback: the
// sensor is reached at a 127.x address now, which only a simulated one can be, and may
// then be moved to another.
std::string address_refusal(const Network_settings& settings, bool sensor_on_loopback);

} // namespace setting_commands

#endif
