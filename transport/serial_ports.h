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
// The text the sensor check compared: the USB product string on Linux, the device
// description on Windows. "" when the port has none or index is out of range.
const char* serial_port_description(int32_t index);

#ifdef _WIN32
// The two device properties the enumeration reads (the setup interface's codes).
enum { VYR_PORT_FRIENDLY_NAME = 12, VYR_PORT_DESCRIPTION = 0 };

// One device of the ports class: property of device index as NUL-terminated text into
// text (size bytes). 1 read, 0 not readable, -1 no device at index (the end of the list).
typedef int32_t (*vyr_port_property_reader)(void* context, uint32_t index, uint32_t property,
                                            char* text, uint32_t size);

// find_serial_ports over another device list, such as a made-up one.
int32_t find_serial_ports_from(vyr_port_property_reader read, void* context);
#else
// find_serial_ports over another sysfs root (holding class/tty) and /dev root.
int32_t find_serial_ports_in(const char* sysfs_root, const char* dev_root);
#endif

VYR_EXTERN_C_END

#endif
