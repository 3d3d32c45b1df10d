#ifndef VYR_SUBNET_ADVICE_H
#define VYR_SUBNET_ADVICE_H

#include <cstdint>
#include <string>
#include <vector>

#include "address_ranges.h"

// The command that gives this computer an address beside target (host byte order) when
// no interface that is up has one in its subnet; empty when one has, when target is
// loopback, or when the interface list is empty (nothing known, nothing claimed).
std::string subnet_advice(uint32_t target, const std::vector<vyr_find::Interface>& interfaces);

#endif
