#ifndef VYR_PYTHON_ADDRESSES_H
#define VYR_PYTHON_ADDRESSES_H

// IPv4 addresses as Python hands them in: checked, made canonical, and turned into the
// field texts of the setting commands.

#include "setting_commands.h"

#include <optional>
#include <string>

namespace vyr_python {

namespace sc = setting_commands;

// "192.168.000.010" as "192.168.0.10"; leading zeros are decimal, as in vyr.
std::optional<std::string> canonical_ipv4(const std::string& text);

// The usage error's text for something that is no address.
std::string not_an_address(const std::string& text);

// The three addresses as the field texts the setting commands take; a usage error names
// the first that is none.
sc::Network_settings network_settings(const std::string& address, const std::string& netmask,
                                      const std::string& gateway);

// The fields with dots between.
std::string joined(const sc::Address& fields);

// Why these settings cannot work, or "" when they can; nothing is sent.
std::string address_refusal(const std::string& address, const std::string& netmask,
                            const std::string& gateway, bool sensor_on_loopback);

} // namespace vyr_python

#endif
