#include "setting_commands.h"

#include "lidar.h"
#include "reply_framer.h"

#include <cstdio>
#include <cstring>

namespace setting_commands {

namespace {

// The driver's raw line read, as the framer reads it.
class Driver_lines : public kvt::Line_source
{
public:
    explicit Driver_lines(kvt::Lidar& driver) : driver_(driver) {}
    int read_line(char* buffer, int size, int timeout_ms) override
    {
        return driver_.raw_readline(buffer, size, timeout_ms);
    }

private:
    kvt::Lidar& driver_;
};

// The response as the panels have always shown it: the echo and every line after it, each
// followed by LF; the lines before the echo apart.
class Response_text : public kvt::Reply_sink
{
public:
    Response_text(std::string& response, std::string& skipped)
        : response_(response), skipped_(skipped)
    {
    }
    void skipped(const char* line, int length) override { append(skipped_, line, length); }
    void echo(const char* line, int length) override { append(response_, line, length); }
    void line(const char* line, int length) override { append(response_, line, length); }

private:
    static void append(std::string& text, const char* line, int length)
    {
        text.append(line, static_cast<size_t>(length));
        text += '\n';
    }
    std::string& response_;
    std::string& skipped_;
};

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

// The row's text as it is: a plain text is no format ("%AH1" would read as a conversion).
std::string command_text(kvt::Command command)
{
    return kvt::command_row(command).text;
}

// The row's format filled in.
template <typename First, typename... Rest>
std::string command_text(kvt::Command command, First first, Rest... rest)
{
    const kvt::Command_row& row = kvt::command_row(command);
    if (!row.is_format) {
        return row.text;
    }
    const int size = std::snprintf(nullptr, 0, row.text, first, rest...);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(&text[0], text.size() + 1, row.text, first, rest...);
    return text;
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
    response.clear();
    skipped_.clear();
    Driver_lines source(driver_);
    Response_text text(response, skipped_);
    const kvt::Reply_frame frame{
        echo_.data(), static_cast<int>(echo_.size()), kvt::Framing::maintenance,
        nullptr,      expected_status.c_str(),        time_out_ms};
    const kvt::Reply_outcome outcome = kvt::read_reply(source, frame, text);
    echo_seen_ = outcome.echo_seen;
    if (!echo_seen_) {
        response = "\n";
    }
    return outcome.end == kvt::Reply_end::complete && outcome.accepted;
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

bool exchange(Maintenance_link& link, kvt::Command command, const std::string& text,
              std::string& response)
{
    const kvt::Command_row& row = kvt::command_row(command);
    if (text.empty() && row.is_format) {
        return false; // a format with nothing filled in is no command
    }
    return link.send(text.empty() ? std::string(row.text) : text) &&
           link.receive(response, row.status_text, row.timeout_ms);
}

bool exchange(Maintenance_link& link, kvt::Command command, const std::string& text)
{
    std::string response;
    return exchange(link, command, text, response);
}

std::string heater_command(bool on)
{
    return command_text(on ? kvt::Command::heater_on : kvt::Command::heater_off);
}

std::string phase_set_command(int degrees)
{
    return command_text(kvt::Command::phase_set, degrees);
}

const char* const phase_get_command = kvt::command_row(kvt::Command::phase_get).text;

std::string compact_address_command(const Network_settings& settings)
{
    return command_text(kvt::Command::address_compact,
                        padded_fields(settings.ip_address, "").c_str(),
                        padded_fields(settings.subnet_mask, "").c_str(),
                        padded_fields(settings.default_gateway, "").c_str());
}

std::string dotted_address_command(const Network_settings& settings)
{
    return command_text(kvt::Command::address_dotted,
                        padded_fields(settings.ip_address, ".").c_str(),
                        padded_fields(settings.subnet_mask, ".").c_str(),
                        padded_fields(settings.default_gateway, ".").c_str());
}

bool set_heater(Maintenance_link& link, bool on)
{
    return exchange(link, on ? kvt::Command::heater_on : kvt::Command::heater_off);
}

bool set_phase(Maintenance_link& link, int degrees)
{
    // No three digits carry such a phase; the sensor would take whatever they spell.
    if (degrees < 0 || degrees > max_phase) {
        return false;
    }
    return exchange(link, kvt::Command::phase_set, phase_set_command(degrees));
}

int get_phase(Maintenance_link& link)
{
    std::string response;
    if (!exchange(link, kvt::Command::phase_get, std::string(), response)) {
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
    using kvt::Command;
    const std::string compact = compact_address_command(settings);
    bool accepted =
        form != Address_form::dotted && exchange(link, Command::address_compact, compact);
    if (!accepted && form != Address_form::compact) {
        // Sensors that do not know the compact form want the dotted one.
        accepted = exchange(link, Command::address_dotted, dotted_address_command(settings)) ||
                   // A late answer to the compact form may come while the dotted one is awaited.
                   (form == Address_form::automatic &&
                    skipped_reply_accepted(link.skipped(), compact,
                                           kvt::command_row(Command::address_compact).status_text));
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

bool Recording_link::receive(std::string& response, const std::string& expected_status,
                             int time_out_ms)
{
    const bool accepted = Maintenance_link::receive(response, expected_status, time_out_ms);
    response_ = response;
    time_out_ms_ = time_out_ms;
    return accepted;
}

bool Recording_link::unanswered() const
{
    return !echo_seen() || split_lines(response_).size() < 2;
}

std::string Recording_link::why() const
{
    if (unanswered()) {
        return "no answer within " + std::to_string(time_out_ms_) + " ms";
    }
    if (response_.size() < 2 || response_.compare(response_.size() - 2, 2, "\n\n") != 0) {
        return "the reply did not end within " + std::to_string(time_out_ms_) + " ms";
    }
    return "the sensor answered status \"" + split_lines(response_)[1] + "\"";
}

} // namespace setting_commands
