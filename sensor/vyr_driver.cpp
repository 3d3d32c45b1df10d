#include "vyr_driver.h"

#include "driver_state.h"
#include "serial_ports.h"
#include "system_error.h"

#include <utility>

namespace kvt {

static_assert(static_cast<int>(Error::none) == VYR_NO_ERROR &&
                  static_cast<int>(Error::send_error) == VYR_SEND_ERROR &&
                  static_cast<int>(Error::data_size_parameter_error) ==
                      VYR_DATA_SIZE_PARAMETER_ERROR,
              "Error holds the engine's codes");

namespace {

// The transport keeps the reason per thread, and only until the next failure there.
System_reason recorded_reason()
{
    const vyr_system_error recorded = vyr_last_system_error();
    System_reason reason;
    reason.number = recorded.number;
    reason.call = recorded.number != 0 && recorded.call ? recorded.call : "";
    return reason;
}

} // namespace

const char* error_text(Error code)
{
    return vyr_error_message(static_cast<int>(code));
}

Vyr_driver::Vyr_driver() : pimpl(new driver_state) {}

Vyr_driver::~Vyr_driver()
{
    Vyr_driver::close();
}

std::vector<Port_entry> Vyr_driver::list_port_entries()
{
    std::vector<Port_entry> entries;
    const int count = find_serial_ports();
    for (int i = 0; i < count; ++i) {
        entries.push_back(
            {serial_port_name(i), serial_port_is_sensor(i) == 1, serial_port_description(i)});
    }
    return entries;
}

std::vector<std::string> Vyr_driver::list_ports(std::vector<int>& vyr_flags)
{
    vyr_flags.clear();
    std::vector<std::string> names;
    for (Port_entry& entry : list_port_entries()) {
        names.push_back(std::move(entry.name));
        vyr_flags.push_back(entry.sensor ? 1 : 0);
    }
    return names;
}

std::vector<std::string> Vyr_driver::list_ports()
{
    std::vector<int> flags;
    return list_ports(flags);
}

const char* Vyr_driver::last_error_text()
{
    return vyr_error_text(&pimpl->sensor);
}

bool Vyr_driver::open(const char* device, long baudrate, connection_type type)
{
    close();
    pimpl->is_open = false;
    pimpl->product_text.clear();
    pimpl->firmware_text.clear();
    pimpl->serial_text.clear();

    pimpl->system_reason = System_reason();
    connection_clear_lost(&pimpl->sensor.connection);
    // A reason left from an earlier open on this thread must not explain this one.
    vyr_clear_system_error();
    const int engine_type = type == Ethernet ? VYR_ETHERNET : VYR_SERIAL;
    if (vyr_open(&pimpl->sensor, engine_type, device, baudrate) < 0) {
        pimpl->system_reason = recorded_reason();
        return false;
    }
    pimpl->is_open = true;
    // Any type but Ethernet opened a serial line; store what was opened, not the value given.
    pimpl->opened = Opened_target{engine_type == VYR_ETHERNET ? Ethernet : Serial,
                                  device ? device : "", baudrate};
    return true;
}

void Vyr_driver::close()
{
    if (pimpl->is_open) {
        vyr_close(&pimpl->sensor);
        pimpl->is_open = false;
    }
}

const Vyr_driver::Opened_target& Vyr_driver::opened_target() const
{
    return pimpl->opened;
}

bool Vyr_driver::is_open() const
{
    return pimpl->is_open;
}

void Vyr_driver::set_timeout(int msec)
{
    vyr_set_timeout(&pimpl->sensor, msec);
}

void Vyr_driver::reboot()
{
    vyr_reboot(&pimpl->sensor);
}

int Vyr_driver::raw_write(const char* data, int size)
{
    vyr_clear_system_error();
    const int written = vyr_raw_write(&pimpl->sensor, data, size);
    pimpl->system_reason = written == size ? System_reason() : recorded_reason();
    return written;
}

int Vyr_driver::raw_read(char* buffer, int max_size, int timeout)
{
    return vyr_raw_read(&pimpl->sensor, buffer, max_size, timeout);
}

int Vyr_driver::raw_readline(char* buffer, int max_size, int timeout)
{
    return vyr_raw_readline(&pimpl->sensor, buffer, max_size, timeout);
}

int Vyr_driver::raw_discard_input()
{
    return vyr_raw_discard_input(&pimpl->sensor);
}

void Vyr_driver::request_abort()
{
    vyr_request_abort(&pimpl->sensor);
}

void Vyr_driver::clear_abort()
{
    vyr_clear_abort(&pimpl->sensor);
}

const char* Vyr_driver::last_error_detail()
{
    return vyr_error_detail(&pimpl->sensor);
}

Error Vyr_driver::last_error() const
{
    return static_cast<Error>(pimpl->sensor.last_error);
}

const System_reason& Vyr_driver::system_reason() const
{
    const vyr_system_error lost = connection_lost(&pimpl->sensor.connection);
    if (lost.number != 0 && pimpl->system_reason.number != lost.number) {
        pimpl->system_reason.number = lost.number;
        pimpl->system_reason.call = lost.call;
    }
    return pimpl->system_reason;
}

bool Vyr_driver::link_lost() const
{
    return connection_lost(&pimpl->sensor.connection).number != 0;
}

const char* Vyr_driver::link_lost_text() const
{
    return vyr_link_lost_text(&pimpl->sensor);
}

} // namespace kvt
