#ifndef KVT_LIDAR_H
#define KVT_LIDAR_H

#include <string>
#include <vector>

namespace kvt {

// Why the last operation failed, as the engine's error codes; each has one fixed text.
enum class Error {
    none = 0,
    unknown = -1,
    not_connected = -2,
    not_implemented = -3,
    invalid_response = -4,
    no_response = -5,
    send_error = -6,
    receive_error = -7,
    checksum_error = -8,
    invalid_parameter = -9,
    measurement_type_mismatch = -10,
    serial_open_error = -11,
    baudrate_detect_error = -12,
    ethernet_open_error = -13,
    scanning_parameter_error = -14,
    data_size_parameter_error = -15,
};

// The text last_error_text() gives for code ("no error.", "receive error.", ...).
const char* error_text(Error code);

// What the system said when an open or a send failed. Nothing recorded means the link
// itself worked and the failure lay with the sensor.
struct System_reason
{
    int number = 0;   // an errno value (Windows codes translated); 0 when nothing was recorded
    std::string call; // the call that gave it: "open", "connect", "send", ...
};

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
    virtual bool laser_on() = 0;
    virtual bool laser_off() = 0;
    virtual void reboot() = 0;
    virtual void sleep() = 0;
    virtual void wake() = 0;
    virtual bool is_stable() = 0;

    // Distances in the sensor's unit; multi-echo vectors hold three slots per
    // step. time_stamp may be null.
    virtual bool start_scans(measurement_type type, int scan_count, int skip_scans) = 0;
    virtual bool read_distance(std::vector<long>& distance, long* time_stamp) = 0;
    virtual bool read_distance_intensity(std::vector<long>& distance,
                                         std::vector<unsigned short>& intensity,
                                         long* time_stamp) = 0;
    virtual bool read_multiecho(std::vector<long>& distance, long* time_stamp) = 0;
    virtual bool read_multiecho_intensity(std::vector<long>& distance,
                                          std::vector<unsigned short>& intensity,
                                          long* time_stamp) = 0;
    virtual bool set_scan_range(int first_step, int last_step, int skip_step) = 0;
    virtual void stop_scans() = 0;
    // Later time stamps count from time_stamp at the moment of this call (ms).
    virtual bool sync_time_stamp(long time_stamp) = 0;

    // Steps count from straight ahead; indexes are positions in the last scan.
    virtual double index_to_rad(int index) const = 0;
    virtual double index_to_deg(int index) const = 0;
    virtual int rad_to_index(double radians) const = 0;
    virtual int deg_to_index(double degrees) const = 0;
    virtual int rad_to_step(double radians) const = 0;
    virtual int deg_to_step(double degrees) const = 0;
    virtual double step_to_rad(int step) const = 0;
    virtual double step_to_deg(int step) const = 0;
    virtual int step_to_index(int step) const = 0;
    virtual int min_step() const = 0;
    virtual int max_step() const = 0;
    virtual long min_distance() const = 0;
    virtual long max_distance() const = 0;
    virtual long scan_period_usec() const = 0;
    virtual int max_data_count() const = 0;
    virtual int max_echo_count() const = 0;

    virtual const char* product() = 0;
    virtual const char* firmware_version() = 0;
    virtual const char* serial_number() = 0;
    virtual const char* sensor_status() = 0;
    virtual const char* measurement_state() = 0;

    virtual int raw_write(const char* data, int size) = 0;
    virtual int raw_read(char* buffer, int max_size, int timeout) = 0;
    virtual int raw_readline(char* buffer, int max_size, int timeout) = 0;

    // Drops input that has arrived and that nobody read, so that a late reply cannot
    // pass for the answer to the next command. Bytes dropped, or negative when the link
    // is closed. This fallback waits a millisecond per read; drivers do it without waiting.
    virtual int raw_discard_input()
    {
        char chunk[256];
        int dropped = 0;
        for (int got; dropped < 65536 && (got = raw_read(chunk, sizeof chunk, 1)) > 0;) {
            dropped += got;
        }
        return dropped;
    }

    // Makes an operation that waits on the sensor, on another thread or under a signal
    // handler, give up within about 100 ms; safe from any thread and from a signal
    // handler (a lock-free store). Every operation fails at once until clear_abort(),
    // so that the one who asked can then stop the sensor with a clean link.
    virtual void request_abort() {}
    virtual void clear_abort() {}
    // Why the last operation failed, beyond last_error_text(): what was waited for and
    // what came instead ("no answer within 140 ms"). Empty when there is nothing to add.
    virtual const char* last_error_detail() { return ""; }
    // last_error_text() as a code. A driver that cannot tell says unknown, so that
    // nothing is taken for done on its word.
    virtual Error last_error() const { return Error::unknown; }
};

// The steps a full scan holds: the one count the information window, vyr and the scans
// agree on. 0 while the sensor is not open.
inline int steps_per_scan(const Lidar& lidar)
{
    const long count = static_cast<long>(lidar.max_step()) - lidar.min_step() + 1;
    return lidar.max_step() >= lidar.min_step() && count > 0 ? static_cast<int>(count) : 0;
}

} // namespace kvt

#endif
