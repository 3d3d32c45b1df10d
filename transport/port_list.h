#ifndef VYR_TRANSPORT_PORT_LIST_H
#define VYR_TRANSPORT_PORT_LIST_H

// The enumeration's process-wide table and the rules every platform's enumeration
// (port_list_posix.cpp, port_list_win32.cpp) shares; internal to transport/ (C++ only).

#include "serial_ports.h"

#include <stdint.h>

namespace port_list {

// Room for a tty name; a name that does not fit is skipped, never cut.
constexpr int name_size = 16;
constexpr int description_size = 256;

extern int32_t port_count;
extern char port_names[VYR_MAX_SERIAL_PORTS][name_size];
extern int32_t port_is_sensor[VYR_MAX_SERIAL_PORTS];
extern char port_descriptions[VYR_MAX_SERIAL_PORTS][description_size];

// The whole text equals one of the sensor drivers' descriptions.
bool is_sensor_description(const char* description);
// The first sensor port swaps with the head, and so on; see find_serial_ports.
void move_sensor_ports_forward();

} // namespace port_list

#endif
