#include "targets.h"

#include "connect_reason.h"
#include "ipv4_text.h"
#include "vyr_driver.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

// A fleet of thousands fits many times over; /dev/zero or a log given by mistake does not.
const std::uintmax_t max_hosts_file_bytes = 1 << 20;
const size_t max_hosts_line = 4096;

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r";
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

// The whole file, or false with the reason. Only a regular file of bounded size is read:
// a FIFO would block the open and a device may never end.
bool read_small_file(const std::string& path, std::string& text, std::string& error)
{
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (status.type() == fs::file_type::not_found) {
        error = path + ": no such file";
        return false;
    }
    if (code) {
        error = path + ": cannot be read (" + code.message() + ")";
        return false;
    }
    if (fs::is_directory(status)) {
        error = path + ": is a folder; --hosts takes a file with one ADDR[:PORT] a line";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": not a regular file (a device, pipe or socket); --hosts takes a file "
                       "with one ADDR[:PORT] a line";
        return false;
    }
    const std::string too_large = path + ": larger than 1 MiB; --hosts takes a file with one "
                                         "ADDR[:PORT] a line";
    const std::uintmax_t size = fs::file_size(path, code);
    if (!code && size > max_hosts_file_bytes) {
        error = too_large;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    // The size may have changed since: read no more than the limit in any case.
    text.assign(max_hosts_file_bytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > max_hosts_file_bytes) {
        error = too_large;
        return false;
    }
    return true;
}

} // namespace

std::string Target::name() const
{
    return serial ? address : address + ":" + std::to_string(number);
}

bool parse_number(const std::string& text, long low, long high, long& value)
{
    return !text.empty() && text[0] != '-' && parse_signed_number(text, low, high, value);
}

bool parse_signed_number(const std::string& text, long low, long high, long& value)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    // Nine digits stay far inside a 32-bit long, and every bound here does too.
    if (digits.size() - first > 9) {
        return false;
    }
    const long magnitude = std::stol(digits.substr(first));
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

bool parse_ipv4(const std::string& text, std::string& canonical)
{
    uint8_t octets[4];
    if (text.find('\0') != std::string::npos || ipv4_from_text(text.c_str(), octets) != 0) {
        return false;
    }
    canonical = std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
                std::to_string(octets[2]) + "." + std::to_string(octets[3]);
    return true;
}

bool parse_host(const std::string& text, Target& target, std::string& error)
{
    const size_t colon = text.find(':');
    std::string host = text.substr(0, colon);
    uint16_t port = default_port;
    if (colon != std::string::npos) {
        const std::string port_text = text.substr(colon + 1);
        if (port_text.find('\0') != std::string::npos ||
            ipv4_port_from_text(port_text.c_str(), &port) != 0) {
            error = "\"" + text + "\": the port must be a number from 1 to 65535";
            return false;
        }
    }
    if (host != "localhost" && !parse_ipv4(host, host)) {
        error = "\"" + text + "\": not an IPv4 address (four numbers 0..255 with dots)";
        return false;
    }
    target = Target{false, host, port};
    return true;
}

bool read_hosts_file(const std::string& path, std::vector<Target>& targets, std::string& error)
{
    std::string text;
    if (!read_small_file(path, text, error)) {
        return false;
    }
    size_t begin = 0;
    for (int number = 1; begin < text.size(); ++number) {
        const size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (line.size() > max_hosts_line) {
            error = where + "longer than " + std::to_string(max_hosts_line) +
                    " characters; one ADDR[:PORT] a line";
            return false;
        }
        if (line.find('\0') != std::string::npos) {
            error = where + "holds a NUL byte; is this a file of targets?";
            return false;
        }
        const std::string entry = trimmed(line.substr(0, line.find('#')));
        if (entry.empty()) {
            continue;
        }
        Target target;
        if (!parse_host(entry, target, error)) {
            error = where + error;
            return false;
        }
        targets.push_back(target);
    }
    return true;
}

bool open_target(kvt::Vyr_driver& driver, const Target& target, int time_out_ms, Failure& failure)
{
    const bool opened = driver.open(target.address.c_str(), target.number,
                                    target.serial ? kvt::Lidar::Serial : kvt::Lidar::Ethernet);
    if (!opened) {
        failure.text = driver.last_error_text();
        failure.reason =
            open_failure_reason(driver.last_error_detail(), driver.system_reason(), target.serial);
        return false;
    }
    if (time_out_ms > 0) {
        driver.set_timeout(time_out_ms);
    }
    return true;
}

std::string lost_link_reason(const kvt::Vyr_driver& driver)
{
    return driver.link_lost() ? std::string("connection lost: ") + driver.link_lost_text() : "";
}
