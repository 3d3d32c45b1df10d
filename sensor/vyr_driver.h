#ifndef KVT_VYR_DRIVER_H
#define KVT_VYR_DRIVER_H

#include "lidar.h"

#include <memory>
#include <string>
#include <vector>

namespace kvt {

// One serial port as the enumeration found it.
struct Port_entry
{
    std::string name;
    bool sensor = false; // its description is one of the sensor drivers'
    // The USB product string on Linux, the device description on Windows; may be empty.
    std::string description;
};

struct Sensor_information;

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
    // The same listing with each port's description.
    static std::vector<Port_entry> list_port_entries();

    const char* last_error_text() override;
    bool open(const char* device, long baudrate, connection_type type) override;
    void close() override;
    bool is_open() const override;
    void set_timeout(int msec) override;
    bool laser_on() override;
    bool laser_off() override;
    void reboot() override;
    void sleep() override;
    void wake() override;
    bool is_stable() override;

    bool start_scans(measurement_type type, int scan_count, int skip_scans) override;
    bool read_distance(std::vector<long>& distance, long* time_stamp) override;
    bool read_distance_intensity(std::vector<long>& distance,
                                 std::vector<unsigned short>& intensity, long* time_stamp) override;
    bool read_multiecho(std::vector<long>& distance, long* time_stamp) override;
    bool read_multiecho_intensity(std::vector<long>& distance,
                                  std::vector<unsigned short>& intensity,
                                  long* time_stamp) override;
    bool set_scan_range(int first_step, int last_step, int skip_step) override;
    void stop_scans() override;
    bool sync_time_stamp(long time_stamp) override;

    double index_to_rad(int index) const override;
    double index_to_deg(int index) const override;
    int rad_to_index(double radians) const override;
    int deg_to_index(double degrees) const override;
    int rad_to_step(double radians) const override;
    int deg_to_step(double degrees) const override;
    double step_to_rad(int step) const override;
    double step_to_deg(int step) const override;
    int step_to_index(int step) const override;
    int min_step() const override;
    int max_step() const override;
    long min_distance() const override;
    long max_distance() const override;
    long scan_period_usec() const override;
    int max_data_count() const override;
    int max_echo_count() const override;

    const char* product() override;
    const char* firmware_version() override;
    const char* serial_number() override;
    const char* sensor_status() override;
    const char* measurement_state() override;

    int raw_write(const char* data, int size) override;
    int raw_read(char* buffer, int max_size, int timeout) override;
    int raw_readline(char* buffer, int max_size, int timeout) override;
    int raw_discard_input() override;
    void request_abort() override;
    void clear_abort() override;
    const char* last_error_detail() override;
    Error last_error() const override;

    // Why the last failed open or send failed, as the system said; cleared by every open.
    // Once the link is lost, why it was ("recv", "read", "send" or "write").
    const System_reason& system_reason() const;
    // A read or write found the peer closed or the device gone; cleared by open. Safe to
    // ask from any thread.
    bool link_lost() const;
    // "the sensor closed the connection", "the device was unplugged"; "" while not lost.
    const char* link_lost_text() const;

    // What the last successful open reached: an Ethernet device is the address and its
    // port is in baudrate. The device is empty before the first.
    struct Opened_target
    {
        connection_type type = Serial;
        std::string device;
        long baudrate = 0;
    };
    const Opened_target& opened_target() const;

private:
    friend Sensor_information read_sensor_information(Vyr_driver& driver);

    bool read_scan(measurement_type type, std::vector<long>& distance,
                   std::vector<unsigned short>* intensity, long* time_stamp);

    struct driver_state;
    std::unique_ptr<driver_state> pimpl;
};

} // namespace kvt

#endif
