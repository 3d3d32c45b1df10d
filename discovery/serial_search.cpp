#include "serial_search.h"

#include "serial_io.h"
#include "vyr_driver.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vyr_find {

namespace {

constexpr int stop_check_ms = 50;

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string rates_text(const std::vector<long>& rates)
{
    std::string text;
    for (size_t i = 0; i < rates.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == rates.size() ? " or " : ", ") + std::to_string(rates[i]);
    }
    return text;
}

// One port, opened for this search alone; closed and unlocked when it goes.
class Port
{
public:
    explicit Port(const std::string& path) : path_(path) {}
    ~Port()
    {
        if (fd_ >= 0) {
            if (saved_) {
                tcsetattr(fd_, TCSANOW, &before_); // as the next user expects to find it
            }
            ioctl(fd_, TIOCNXCL);
            close(fd_);
        }
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Empty on success, else why not.
    std::string open_alone()
    {
        fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            if (errno == EBUSY || errno == EACCES) {
                return errno == EBUSY ? "in use" : "in use or not permitted";
            }
            return std::string("cannot open: ") + std::strerror(errno);
        }
        if (!isatty(fd_)) {
            return "not a serial port";
        }
        // Whoever holds the lock is talking to the device: never disturb them.
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK ? "in use"
                                        : std::string("cannot lock: ") + std::strerror(errno);
        }
        ioctl(fd_, TIOCEXCL);
        saved_ = tcgetattr(fd_, &before_) == 0;
        if (!saved_) {
            return std::string("cannot read its settings: ") + std::strerror(errno);
        }
        // Raw once; each rate then goes through the transport's own line settings.
        termios raw = before_;
        cfmakeraw(&raw);
        raw.c_cflag |= CREAD | CLOCAL;
        raw.c_cflag &= ~CRTSCTS;
        if (tcsetattr(fd_, TCSANOW, &raw) != 0) {
            return std::string("cannot set it up: ") + std::strerror(errno);
        }
        return "";
    }

    void set_rate(long rate)
    {
        serial_io::apply_line_settings(fd_, rate);
        tcflush(fd_, TCIOFLUSH);
    }

    // Asks and reads until the answer is clear, the time is up or stop is set.
    void ask(Reply_reader& reader, int timeout_ms, const Stop_flag* stop)
    {
        if (write(fd_, identify_request, sizeof identify_request - 1) !=
            static_cast<ssize_t>(sizeof identify_request - 1)) {
            return;
        }
        const long long end = now_ms() + timeout_ms;
        for (long long now = now_ms(); now < end && !(stop && stop->load()); now = now_ms()) {
            pollfd polled{fd_, POLLIN, 0};
            const int wait = static_cast<int>(std::min<long long>(end - now, stop_check_ms));
            if (poll(&polled, 1, wait) < 0 && errno != EINTR) {
                return;
            }
            char chunk[1024];
            const ssize_t got = read(fd_, chunk, sizeof chunk);
            if (got > 0) {
                reader.feed(chunk, static_cast<size_t>(got));
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                return;
            }
            // A measuring sensor answers between two scans: after the answer the time
            // left goes to seeing whether scans follow.
            if (reader.foreign() || (reader.identified() && reader.measuring())) {
                return;
            }
        }
    }

private:
    std::string path_;
    int fd_ = -1;
    termios before_{};
    bool saved_ = false;
};

void search_port(const std::string& device, const Serial_search& search,
                 const std::function<void(const Found_sensor*, const Silent_endpoint*)>& settle,
                 const Stop_flag* stop)
{
    Endpoint place;
    place.serial = true;
    place.device = device.empty() || device[0] == '/' ? device : "/dev/" + device;
    Port port(place.device);
    const std::string refusal = port.open_alone();
    if (!refusal.empty()) {
        const Silent_endpoint silent{place, refusal};
        settle(nullptr, &silent);
        return;
    }
    for (const long rate : search.rates) {
        if (stop && stop->load()) {
            return;
        }
        Reply_reader reader(true);
        port.set_rate(rate);
        port.ask(reader, search.rate_timeout_ms, stop);
        if (reader.identified() || reader.measuring()) {
            place.baudrate = rate;
            const Found_sensor found{place, reader.identity(), reader.measuring()};
            settle(&found, nullptr);
            return;
        }
    }
    if (stop && stop->load()) {
        return;
    }
    const Silent_endpoint silent{place, "no answer at " + rates_text(search.rates) + " baud"};
    settle(nullptr, &silent);
}

} // namespace

std::vector<std::string> listed_ports(bool all_ports)
{
    std::vector<std::string> names;
    for (const kvt::Port_entry& entry : kvt::Vyr_driver::list_port_entries()) {
        if (entry.sensor || all_ports) {
            names.push_back(entry.name);
        }
    }
    return names;
}

void search_serial(const Serial_search& search, const Search_report& report, const Stop_flag* stop)
{
    std::mutex mutex;
    long done = 0;
    const long total = static_cast<long>(search.devices.size());
    const auto settle = [&](const Found_sensor* found, const Silent_endpoint* silent) {
        std::lock_guard<std::mutex> lock(mutex);
        if (found && report.found) {
            report.found(*found);
        }
        if (silent && report.silent) {
            report.silent(*silent);
        }
        ++done;
        if (report.progress) {
            report.progress(done, total);
        }
    };
    std::vector<std::thread> threads;
    for (const std::string& device : search.devices) {
        threads.emplace_back(search_port, device, std::cref(search), std::cref(settle), stop);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace vyr_find
