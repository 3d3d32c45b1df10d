#include "port_list.h"
#include "serial_ports.h"

#include <stdio.h>
#include <string.h>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace port_list;

namespace {

typedef char Path[PATH_MAX];

template <typename... Parts> bool join(Path& out, const char* format, Parts... parts)
{
    const int length = snprintf(out, sizeof(Path), format, parts...);
    return length >= 0 && length < static_cast<int>(sizeof(Path));
}

bool exists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

// The file's first line, without its line end; false when it cannot be read.
bool read_first_line(const char* path, char* text, int size)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const ssize_t got = read(fd, text, static_cast<size_t>(size - 1));
    close(fd);
    if (got < 0) {
        return false;
    }
    text[got] = '\0';
    text[strcspn(text, "\n")] = '\0';
    return true;
}

// Calls visit(name) for every entry of a directory; false when it cannot be listed.
template <typename Visit> bool for_each_entry(const char* directory, Visit visit)
{
    DIR* listing = opendir(directory);
    if (!listing) {
        return false;
    }
    while (const dirent* entry = readdir(listing)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            visit(entry->d_name);
        }
    }
    closedir(listing);
    return true;
}

bool resolve(const char* path, Path& resolved)
{
    return realpath(path, resolved) != nullptr;
}

// Interface, then device: the product string sits a level or two above the tty.
const int usb_search_depth = 4;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Digit runs compare by value, so ttyS2 comes before ttyS10.
int natural_compare(const char* a, const char* b)
{
    while (*a && *b) {
        if (is_digit(*a) && is_digit(*b)) {
            while (*a == '0') {
                ++a;
            }
            while (*b == '0') {
                ++b;
            }
            size_t run_a = 0;
            size_t run_b = 0;
            while (is_digit(a[run_a])) {
                ++run_a;
            }
            while (is_digit(b[run_b])) {
                ++run_b;
            }
            if (run_a != run_b) {
                return run_a < run_b ? -1 : 1;
            }
            const int digits = strncmp(a, b, run_a);
            if (digits != 0) {
                return digits;
            }
            a += run_a;
            b += run_b;
            continue;
        }
        if (*a != *b) {
            return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b) ? -1 : 1;
        }
        ++a;
        ++b;
    }
    return *a ? 1 : (*b ? -1 : 0);
}

// Keeps the table sorted; once full, a name that sorts after every entry is dropped.
void insert_sorted(const char* name)
{
    int32_t at = port_count;
    while (at > 0 && natural_compare(name, port_names[at - 1]) < 0) {
        --at;
    }
    if (at == VYR_MAX_SERIAL_PORTS) {
        return;
    }
    const int32_t end = port_count < VYR_MAX_SERIAL_PORTS ? port_count : VYR_MAX_SERIAL_PORTS - 1;
    for (int32_t i = end; i > at; --i) {
        memcpy(port_names[i], port_names[i - 1], name_size);
    }
    memcpy(port_names[at], name, strlen(name) + 1);
    if (port_count < VYR_MAX_SERIAL_PORTS) {
        ++port_count;
    }
}

bool is_port(const char* tty_dir, const char* dev_root, const char* name)
{
    Path path;
    if (!join(path, "%s/%s/device", tty_dir, name) || !exists(path)) {
        return false;
    }
    if (!join(path, "%s/%s", dev_root, name) || !exists(path)) {
        return false;
    }
    // Serial-core ports without hardware report the unknown port type 0.
    char type[16];
    return !join(path, "%s/%s/type", tty_dir, name) || !read_first_line(path, type, sizeof(type)) ||
           strcmp(type, "0") != 0;
}

// The product string of the USB device the port belongs to; empty for other ports.
void read_description(const char* tty_dir, const char* name, char* description)
{
    description[0] = '\0';
    Path link;
    Path device;
    if (!join(link, "%s/%s/device", tty_dir, name) || !resolve(link, device)) {
        return;
    }
    for (int level = 0; level < usb_search_depth; ++level) {
        Path marker;
        if (join(marker, "%s/idVendor", device) && exists(marker)) {
            Path product;
            if (!join(product, "%s/product", device) ||
                !read_first_line(product, description, description_size)) {
                description[0] = '\0';
            }
            return;
        }
        char* slash = strrchr(device, '/');
        if (!slash || slash == device) {
            return;
        }
        *slash = '\0';
    }
}

} // namespace

int32_t find_serial_ports_in(const char* sysfs_root, const char* dev_root)
{
    port_count = 0;
    Path tty_dir;
    if (!join(tty_dir, "%s/class/tty", sysfs_root)) {
        return 0;
    }
    const bool listed = for_each_entry(tty_dir, [&](const char* name) {
        if (strlen(name) < static_cast<size_t>(name_size) && is_port(tty_dir, dev_root, name)) {
            insert_sorted(name);
        }
    });
    if (!listed) {
        return 0;
    }
    for (int32_t i = 0; i < port_count; ++i) {
        read_description(tty_dir, port_names[i], port_descriptions[i]);
        port_is_sensor[i] = is_sensor_description(port_descriptions[i]) ? 1 : 0;
    }
    move_sensor_ports_forward();
    return port_count;
}

int32_t find_serial_ports(void)
{
    return find_serial_ports_in("/sys", "/dev");
}
