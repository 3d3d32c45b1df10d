#ifndef KVT_LIDAR_H
#define KVT_LIDAR_H

namespace kvt {

// Abstract sensor driver. The order of the operations is the order of the
// virtual table and must not change.
class Lidar
{
public:
    enum connection_type { Serial = 0, Ethernet = 1 };

    enum measurement_type {
        Range = 0,
        Range_intensity = 1,
        Multi_echo = 2,
        Multi_echo_intensity = 3,
    };

    virtual ~Lidar() {}

    virtual const char* last_error_text() = 0;
    virtual bool open(const char* device, long baudrate, connection_type type) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    virtual void set_timeout(int msec) = 0;
    virtual void reboot() = 0;

    virtual int raw_write(const char* data, int size) = 0;
    virtual int raw_read(char* buffer, int max_size, int timeout) = 0;
    virtual int raw_readline(char* buffer, int max_size, int timeout) = 0;
};

} // namespace kvt

#endif
