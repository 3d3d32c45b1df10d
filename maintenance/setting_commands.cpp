#include "setting_commands.h"

#include "lidar.h"

#include <chrono>
#include <cstring>

namespace setting_commands {

namespace {

const int line_buffer_size = 100;
// The time-out alone would let a device that floods lines fill memory for a whole
// second; real replies have a dozen lines.
const int max_reply_lines = 256;

long long milliseconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

bool starts_with(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

int digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return -1;
}

// Each field three digits wide, zero-filled on the left; an empty field becomes 000.
std::string padded_fields(const Address& address, const char* separator)
{
    std::string text;
    for (size_t i = 0; i < address.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        const std::string& field = address[i];
        text += std::string(field.size() < 3 ? 3 - field.size() : 0, '0') + field;
    }
    return text;
}

bool exchange(Maintenance_link& link, const std::string& command, const char* expected_status,
              int time_out_ms)
{
    std::string response;
    return link.send(command) && link.receive(response, expected_status, time_out_ms);
}

// Whether the skipped lines hold an accepted reply to command.
bool skipped_reply_accepted(const std::string& skipped, const std::string& command,
                            const std::string& expected_status)
{
    const std::vector<std::string> lines = split_lines(skipped);
    const std::string echo = command.substr(0, command.size() - 1);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (starts_with(lines[i], echo) && lines[i + 1] == expected_status) {
            return true;
        }
    }
    return false;
}

} // namespace

bool Maintenance_link::send(const std::string& command)
{
    // A reply that came too late for its own command must not answer this one.
    driver_.raw_discard_input();
    echo_ = command.substr(0, command.size() - (!command.empty() && command.back() == '\n'));
    const int size = static_cast<int>(command.size());
    return driver_.raw_write(command.data(), size) == size;
}

bool Maintenance_link::receive(std::string& response, const std::string& expected_status,
                               int time_out_ms)
{
    const auto start = std::chrono::steady_clock::now();
    response.clear();
    skipped_.clear();
    echo_seen_ = false;
    bool complete = false;

    for (int lines = 0; lines < max_reply_lines && !complete; ++lines) {
        const long long left = time_out_ms - milliseconds_since(start);
        if (left <= 0) {
            break;
        }
        char buffer[line_buffer_size];
        buffer[0] = '\0';
        const int result = driver_.raw_readline(buffer, line_buffer_size, static_cast<int>(left));
        // Bounded, so a driver that forgot the NUL cannot make us read past the buffer.
        const std::string line(buffer, strnlen(buffer, line_buffer_size));
        if (!echo_seen_) {
            if (result < 0 && line.empty()) {
                break; // nothing came, or the link is gone
            }
            if (!starts_with(line, echo_)) {
                skipped_ += line + '\n';
                continue;
            }
            echo_seen_ = true;
        }
        response += line + '\n';
        // An empty line and a read that delivered nothing end the reply alike.
        complete = line.empty();
        if (milliseconds_since(start) > time_out_ms) {
            return false;
        }
    }
    if (!echo_seen_) {
        response = "\n";
        return false;
    }
    if (!complete) {
        return false;
    }
    const std::vector<std::string> lines = split_lines(response);
    return lines.size() > 1 && lines[1] == expected_status;
}

std::vector<std::string> split_lines(const std::string& response)
{
    std::vector<std::string> lines;
    size_t begin = 0;
    for (size_t end; (end = response.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(response.substr(begin, end - begin));
    }
    lines.push_back(response.substr(begin));
    return lines;
}

int number_from_text(const std::string& text, int start, int count, int base)
{
    const long long length = static_cast<long long>(text.size());
    const long long end = static_cast<long long>(start) + (count == 0 ? length : count);
    // A negative start would index before the text.
    if (start < 0 || start >= end || start >= length) {
        return 0;
    }
    // Unsigned so that a long run of digits wraps instead of overflowing.
    unsigned value = 0;
    for (long long pos = start; pos < end && pos < length; ++pos) {
        const int digit = digit_value(text[static_cast<size_t>(pos)]);
        if (digit < 0 || digit >= base) {
            return 0;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    return static_cast<int>(value);
}

std::string heater_command(bool on)
{
    return on ? "%AH1\n" : "%AH0\n";
}

std::string phase_set_command(int degrees)
{
    std::string digits = std::to_string(degrees);
    return "%SP" + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits + "\n";
}

const char phase_get_command[] = "%PG\n";

std::string compact_address_command(const Network_settings& settings)
{
    return "$IP" + padded_fields(settings.ip_address, "") +
           padded_fields(settings.subnet_mask, "") + padded_fields(settings.default_gateway, "") +
           "\n";
}

std::string dotted_address_command(const Network_settings& settings)
{
    return "$IP" + padded_fields(settings.ip_address, ".") + " " +
           padded_fields(settings.subnet_mask, ".") + " " +
           padded_fields(settings.default_gateway, ".") + "\n";
}

bool set_heater(Maintenance_link& link, bool on)
{
    return exchange(link, heater_command(on), "00P", heater_time_out_ms);
}

bool set_phase(Maintenance_link& link, int degrees)
{
    return exchange(link, phase_set_command(degrees), "00P", phase_time_out_ms);
}

int get_phase(Maintenance_link& link)
{
    std::string response;
    if (!link.send(phase_get_command) || !link.receive(response, "00P", phase_time_out_ms)) {
        return -1;
    }
    const std::vector<std::string> lines = split_lines(response);
    if (lines.size() < 3) {
        return -1;
    }
    // The data line starts with three decimal digits; the rest of it is not ours. Anything
    // else (a cut reply, a sign, letters, a number no phase can have) is no phase at all,
    // not a phase of 0.
    const std::string& data = lines[2];
    if (data.size() < 3) {
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        if (data[static_cast<size_t>(i)] < '0' || data[static_cast<size_t>(i)] > '9') {
            return -1;
        }
    }
    const int phase = number_from_text(data, 0, 3, 10);
    return phase <= max_phase ? phase : -1;
}

Address_result change_address(Maintenance_link& link, const Network_settings& settings,
                              Address_form form)
{
    const std::string compact = compact_address_command(settings);
    bool accepted =
        form != Address_form::dotted && exchange(link, compact, "0", address_time_out_ms);
    if (!accepted && form != Address_form::compact) {
        // Sensors that do not know the compact form want the dotted one.
        accepted = exchange(link, dotted_address_command(settings), "00P", address_time_out_ms) ||
                   // A late answer to the compact form may come while the dotted one is awaited.
                   (form == Address_form::automatic &&
                    skipped_reply_accepted(link.skipped(), compact, "0"));
    }
    if (!accepted) {
        return Address_result::refused;
    }
    kvt::Lidar& driver = link.driver();
    driver.reboot();
    // The driver reports the reboot's outcome only through its last error.
    return driver.last_error() == kvt::Error::none ? Address_result::changed
                                                   : Address_result::reboot_failed;
}

} // namespace setting_commands
