#include "port_list.h"
#include "serial_ports.h"

#include <string.h>

#include <windows.h>

#include <setupapi.h>

using namespace port_list;

namespace {

// The ports setup class, {4d36e978-e325-11ce-bfc1-08002be10318}.
const GUID ports_class = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const DWORD list_flags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
const size_t shortest_name = 7;
// "COM" is looked for in this many last characters of the friendly name.
const size_t name_tail = 7;
// The longest port name the table keeps, "COM100" and the like.
const size_t longest_port_name = 6;

int32_t read_setup_property(void* context, uint32_t index, uint32_t property, char* text,
                            uint32_t size)
{
    const HDEVINFO list = static_cast<HDEVINFO>(context);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiEnumDeviceInfo(list, index, &device)) {
        return -1;
    }
    DWORD type = 0;
    DWORD written = 0;
    // One byte kept for the terminator: the registry text need not carry its own, and the
    // description is shown, so nothing past what was written may follow it.
    if (!SetupDiGetDeviceRegistryPropertyA(list, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text), size - 1, &written)) {
        return 0;
    }
    text[written < size - 1 ? written : size - 1] = '\0';
    return 1;
}

// "USB Serial Port (COM3)" gives COM3; false for a name without a port number.
bool port_name_of(char* friendly, char (&name)[name_size])
{
    const size_t length = strlen(friendly);
    if (length < shortest_name) {
        return false;
    }
    const char* tail = friendly + length - name_tail;
    const char* com = strstr(tail, "COM");
    if (!com) {
        return false;
    }
    char* close = strrchr(friendly, ')');
    if (close) {
        *close = '\0';
    }
    strncpy(name, com, longest_port_name);
    name[longest_port_name] = '\0';
    return true;
}

} // namespace

int32_t find_serial_ports_from(vyr_port_property_reader read, void* context)
{
    port_count = 0;
    char text[description_size];
    for (uint32_t index = 0; port_count < VYR_MAX_SERIAL_PORTS; ++index) {
        const int32_t named = read(context, index, VYR_PORT_FRIENDLY_NAME, text, sizeof text);
        if (named < 0) {
            break;
        }
        if (named == 0 || !port_name_of(text, port_names[port_count])) {
            continue;
        }
        char* description = port_descriptions[port_count];
        if (read(context, index, VYR_PORT_DESCRIPTION, description, description_size) <= 0) {
            description[0] = '\0';
        }
        port_is_sensor[port_count] = is_sensor_description(description) ? 1 : 0;
        ++port_count;
    }
    move_sensor_ports_forward();
    return port_count;
}

int32_t find_serial_ports(void)
{
    port_count = 0;
    const HDEVINFO list = SetupDiGetClassDevsA(&ports_class, nullptr, nullptr, list_flags);
    if (list == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const int32_t found = find_serial_ports_from(read_setup_property, list);
    SetupDiDestroyDeviceInfoList(list);
    return found;
}
