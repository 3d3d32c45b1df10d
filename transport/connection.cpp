#include "connection.h"

int32_t connection_open(vyr_connection* connection, int32_t type, const char* device, long baudrate)
{
    connection_clear_lost(connection);
    connection->type = type;
    switch (type) {
    case VYR_SERIAL:
        return serial_open(&connection->serial, device, baudrate);
    case VYR_ETHERNET:
        return tcpclient_open(&connection->tcpclient, device, baudrate);
    default:
        return -1;
    }
}

vyr_system_error connection_lost(const vyr_connection* connection)
{
    // Only the link opened last can have been lost, and open clears both: no need to read
    // the type, which the user's thread may be changing.
    const vyr_system_error serial = vyr_link_loss_reason(&connection->serial.loss);
    return serial.number != 0 ? serial : vyr_link_loss_reason(&connection->tcpclient.loss);
}

void connection_clear_lost(vyr_connection* connection)
{
    vyr_clear_link_loss(&connection->serial.loss);
    vyr_clear_link_loss(&connection->tcpclient.loss);
}

void connection_set_abort_flag(vyr_connection* connection, const int32_t* flag)
{
    connection->serial.abort_flag = flag;
    connection->tcpclient.abort_flag = flag;
}

void connection_close(vyr_connection* connection)
{
    switch (connection->type) {
    case VYR_SERIAL:
        serial_close(&connection->serial);
        break;
    case VYR_ETHERNET:
        tcpclient_close(&connection->tcpclient);
        break;
    default:
        break;
    }
}

int32_t connection_set_baudrate(vyr_connection* connection, long baudrate)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_set_baudrate(&connection->serial, baudrate);
    case VYR_ETHERNET:
        return 0;
    default:
        return -1;
    }
}

int32_t connection_write(vyr_connection* connection, const char* data, int32_t size)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_write(&connection->serial, data, size);
    case VYR_ETHERNET:
        return tcpclient_write(&connection->tcpclient, data, size);
    default:
        return -1;
    }
}

int32_t connection_read(vyr_connection* connection, char* buffer, int32_t size, int32_t timeout)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_read(&connection->serial, buffer, size, timeout);
    case VYR_ETHERNET:
        return tcpclient_read(&connection->tcpclient, buffer, size, timeout);
    default:
        return -1;
    }
}

int32_t connection_readline(vyr_connection* connection, char* buffer, int32_t size, int32_t timeout)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_readline(&connection->serial, buffer, size, timeout);
    case VYR_ETHERNET:
        return tcpclient_readline(&connection->tcpclient, buffer, size, timeout);
    default:
        return -1;
    }
}

int32_t connection_readline_until(vyr_connection* connection, char* buffer, int32_t size,
                                  int32_t timeout, int64_t end_ms)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_readline_until(&connection->serial, buffer, size, timeout, end_ms);
    case VYR_ETHERNET:
        return tcpclient_readline_until(&connection->tcpclient, buffer, size, timeout, end_ms);
    default:
        return -1;
    }
}

int32_t connection_discard_input(vyr_connection* connection)
{
    switch (connection->type) {
    case VYR_SERIAL:
        return serial_discard_input(&connection->serial);
    case VYR_ETHERNET:
        return tcpclient_discard_input(&connection->tcpclient);
    default:
        return -1;
    }
}
