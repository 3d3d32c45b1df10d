#ifndef VYR_TRANSPORT_SERIAL_PORTS_H
#define VYR_TRANSPORT_SERIAL_PORTS_H

#include "c_interface.h"

#include <stdint.h>

VYR_EXTERN_C_BEGIN

enum { VYR_MAX_SERIAL_PORTS = 16 };

// Lists the serial ports present, sensor ports first; the result stays readable through
// the two lookups until the next call.
int32_t find_serial_ports(void);
// "" when index is out of range.
const char* serial_port_name(int32_t index);
// 1 sensor port, 0 other port, -1 index out of range.
int32_t serial_port_is_sensor(int32_t index);

// find_serial_ports over another sysfs root (holding class/tty) and /dev root.
int32_t find_serial_ports_in(const char* sysfs_root, const char* dev_root);

VYR_EXTERN_C_END

#endif
