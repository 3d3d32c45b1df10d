#ifndef VYR_CLI_TARGETS_H
#define VYR_CLI_TARGETS_H

// The sensors one run talks to, as named on the command line or in a hosts file.

#include <string>
#include <vector>

namespace kvt {
class Vyr_driver;
}

struct Target
{
    bool serial = false;
    std::string address; // IPv4 text or "localhost"; or the serial device
    long number = 0;     // TCP port, or serial baud rate

    std::string name() const; // "127.0.0.1:10940", "/dev/ttyACM0"
};

constexpr long default_port = 10940;
constexpr long default_baud = 115200;
constexpr long max_baud = 4000000;

// "ADDR[:PORT]"; false with the reason in error.
bool parse_host(const std::string& text, Target& target, std::string& error);
// One target a line; '#' starts a comment, blank lines are ignored. The file must be a
// regular file of at most 1 MiB.
bool read_hosts_file(const std::string& path, std::vector<Target>& targets, std::string& error);

// A decimal number within [low, high], digits only (leading zeros are still decimal).
bool parse_number(const std::string& text, long low, long high, long& value);
// The same with an optional leading minus.
bool parse_signed_number(const std::string& text, long low, long high, long& value);

// Four decimal numbers 0..255 joined by dots, nothing else ("192.168.000.010" is .10, never
// octal); canonical is the address without leading zeros, as shown and connected to.
bool parse_ipv4(const std::string& text, std::string& canonical);

// Why an open failed, beside the driver's text.
struct Failure
{
    std::string text;   // the driver's own error text
    std::string reason; // what the system said, in words; may be empty
};

// "connection lost: the sensor closed the connection" once driver's link is gone, else "":
// the reason a failure after the open gets instead of its own.
std::string lost_link_reason(const kvt::Vyr_driver& driver);

// Opens driver on target; a positive time_out_ms then becomes the reply time-out.
bool open_target(kvt::Vyr_driver& driver, const Target& target, int time_out_ms, Failure& failure);

#endif
