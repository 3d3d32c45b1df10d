#include "ipv4_text.h"

namespace {

// Up to max_digits decimal digits from text; the value, or -1. text moves past them.
int32_t decimal_field(const char*& text, int32_t max_digits)
{
    int32_t value = 0;
    int32_t digits = 0;
    while (*text >= '0' && *text <= '9') {
        if (++digits > max_digits) {
            return -1;
        }
        value = value * 10 + (*text - '0');
        ++text;
    }
    return digits == 0 ? -1 : value;
}

} // namespace

int32_t ipv4_from_text(const char* text, uint8_t octets[4])
{
    if (!text || !octets) {
        return -1;
    }
    uint8_t parsed[4];
    for (int32_t i = 0; i < 4; ++i) {
        if (i > 0 && *text++ != '.') {
            return -1;
        }
        const int32_t value = decimal_field(text, 3);
        if (value < 0 || value > 255) {
            return -1;
        }
        parsed[i] = static_cast<uint8_t>(value);
    }
    if (*text != '\0') {
        return -1;
    }
    for (int32_t i = 0; i < 4; ++i) {
        octets[i] = parsed[i];
    }
    return 0;
}

int32_t ipv4_port_from_text(const char* text, uint16_t* port)
{
    if (!text || !port) {
        return -1;
    }
    const int32_t value = decimal_field(text, 5);
    if (value < 1 || value > 65535 || *text != '\0') {
        return -1;
    }
    *port = static_cast<uint16_t>(value);
    return 0;
}
