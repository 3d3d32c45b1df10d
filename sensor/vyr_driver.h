#ifndef KVT_VYR_DRIVER_H
#define KVT_VYR_DRIVER_H

#include "lidar.h"

#include <memory>
#include <string>
#include <vector>

namespace kvt {

// The driver over one sensor handle.
class Vyr_driver : public Lidar
{
public:
    Vyr_driver();
    ~Vyr_driver() override;
    Vyr_driver(const Vyr_driver&) = delete;
    Vyr_driver& operator=(const Vyr_driver&) = delete;

    // Serial port names, sensor ports first; vyr_flags gets 1 for a sensor port, else 0.
    static std::vector<std::string> list_ports(std::vector<int>& vyr_flags);
    static std::vector<std::string> list_ports();

    const char* last_error_text() override;
    bool open(const char* device, long baudrate, connection_type type) override;
    void close() override;
    bool is_open() const override;
    void set_timeout(int msec) override;
    void reboot() override;

    int raw_write(const char* data, int size) override;
    int raw_read(char* buffer, int max_size, int timeout) override;
    int raw_readline(char* buffer, int max_size, int timeout) override;

private:
    struct driver_state;
    std::unique_ptr<driver_state> pimpl;
};

} // namespace kvt

#endif
