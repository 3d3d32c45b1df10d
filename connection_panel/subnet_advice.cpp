#include "subnet_advice.h"

std::string subnet_advice(uint32_t target, const std::vector<vyr_find::Interface>& interfaces)
{
    if (vyr_find::is_loopback(target) || interfaces.empty()) {
        return {};
    }
    std::string device;
    for (const vyr_find::Interface& each : interfaces) {
        if (!each.up || each.loopback) {
            continue;
        }
        if (((each.address ^ target) & each.netmask) == 0) {
            return {};
        }
        if (device.empty()) {
            device = each.name;
        }
    }
    // A sensor's network is a /24 as it leaves the factory; the neighbour of its address
    // is as good a guess as any and never the network or broadcast address.
    const uint32_t host = target & 0xFF;
    const uint32_t own = (target & ~0xFFu) | (host >= 254 ? host - 1 : host + 1);
    return "sudo ip addr add " + vyr_find::address_text(own) + "/24 dev " +
           (device.empty() ? std::string("<interface>") : device);
}
