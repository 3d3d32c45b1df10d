#ifndef VYR_TRANSPORT_IPV4_TEXT_H
#define VYR_TRANSPORT_IPV4_TEXT_H

// Dotted IPv4 addresses and ports as the user and the sensor write them: always decimal.
// The sensor pads its own dotted form with zeros ("192.168.000.010"), so a leading zero
// never means octal here.

#include "c_interface.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

// Exactly four fields of one to three decimal digits, each 0..255, separated by single
// dots, nothing before or after. 0 with octets filled in, or -1 (octets untouched).
int32_t ipv4_from_text(const char* text, uint8_t octets[4]);

// One to five decimal digits, 1..65535, nothing else. 0 with the port, or -1.
int32_t ipv4_port_from_text(const char* text, uint16_t* port);

VYR_EXTERN_C_END

#endif
