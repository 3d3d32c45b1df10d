#include "targets.h"

#include "connect_reason.h"
#include "system_error.h"
#include "vyr_driver.h"

#include <fstream>

namespace {

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r";
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

} // namespace

std::string Target::name() const
{
    return serial ? address : address + ":" + std::to_string(number);
}

bool parse_number(const std::string& text, long low, long high, long& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stol(text);
    return value >= low && value <= high;
}

bool parse_host(const std::string& text, Target& target, std::string& error)
{
    const size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    long port = default_port;
    if (colon != std::string::npos && !parse_number(text.substr(colon + 1), 1, 65535, port)) {
        error = "\"" + text + "\": the port must be a number from 1 to 65535";
        return false;
    }
    if (host != "localhost" && !is_ipv4_address(host)) {
        error = "\"" + text + "\": not an IPv4 address (four numbers 0..255 with dots)";
        return false;
    }
    target = Target{false, host, port};
    return true;
}

bool read_hosts_file(const std::string& path, std::vector<Target>& targets, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = trimmed(line.substr(0, line.find('#')));
        if (text.empty()) {
            continue;
        }
        Target target;
        if (!parse_host(text, target, error)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        targets.push_back(target);
    }
    return true;
}

bool open_target(kvt::Vyr_driver& driver, const Target& target, int time_out_ms,
                 Failure& failure)
{
    // A reason left from an earlier target on this thread must not explain this one.
    vyr_clear_system_error();
    const bool opened =
        driver.open(target.address.c_str(), target.number,
                    target.serial ? kvt::Lidar::Serial : kvt::Lidar::Ethernet);
    if (!opened) {
        failure.text = driver.last_error_text();
        failure.reason = connect_reason(vyr_last_system_error(), target.serial);
        return false;
    }
    if (time_out_ms > 0) {
        driver.set_timeout(time_out_ms);
    }
    return true;
}
