#include "serial_ports.h"
#include "port_list.h"

#include <string.h>

// Filled by port_list_posix.cpp or port_list_win32.cpp; read by the lookups below.

namespace port_list {

int32_t port_count = 0;
char port_names[VYR_MAX_SERIAL_PORTS][name_size];
int32_t port_is_sensor[VYR_MAX_SERIAL_PORTS];
char port_descriptions[VYR_MAX_SERIAL_PORTS][description_size];

namespace {

const char* const sensor_descriptions[] = {
    "VYR Series USB Device Driver",
    "VYR-Q907 USB Device Driver",
};

} // namespace

bool is_sensor_description(const char* description)
{
    for (const char* sensor : sensor_descriptions) {
        if (strcmp(description, sensor) == 0) {
            return true;
        }
    }
    return false;
}

namespace {

template <size_t size> void swap_texts(char (&a)[size], char (&b)[size])
{
    char kept[size];
    memcpy(kept, a, size);
    memcpy(a, b, size);
    memcpy(b, kept, size);
}

void swap_entries(int32_t a, int32_t b)
{
    swap_texts(port_names[a], port_names[b]);
    swap_texts(port_descriptions[a], port_descriptions[b]);
    const int32_t flag = port_is_sensor[a];
    port_is_sensor[a] = port_is_sensor[b];
    port_is_sensor[b] = flag;
}

} // namespace

void move_sensor_ports_forward()
{
    int32_t mark = 0;
    for (int32_t j = 0; j < port_count; ++j) {
        if (port_is_sensor[j] && mark < j) {
            swap_entries(mark, j);
            mark = j + 1;
        }
    }
}

} // namespace port_list

using namespace port_list;

const char* serial_port_name(int32_t index)
{
    if (index < 0 || index >= port_count) {
        return "";
    }
    return port_names[index];
}

int32_t serial_port_is_sensor(int32_t index)
{
    if (index < 0 || index >= port_count) {
        return -1;
    }
    return port_is_sensor[index];
}

const char* serial_port_description(int32_t index)
{
    if (index < 0 || index >= port_count) {
        return "";
    }
    return port_descriptions[index];
}
