#ifndef VYR_MAINTENANCE_SETTING_COMMANDS_H
#define VYR_MAINTENANCE_SETTING_COMMANDS_H

// The sensor's maintenance commands (heater, phase, network address): how they are
// written and how their replies are judged. Plain C++ over the driver's raw operations,
// so that the window's panels and the command-line tool share one definition.

#include "protocol_table.h"

#include <array>
#include <string>
#include <vector>

namespace kvt {
class Lidar;
}

namespace setting_commands {

// Reply time-outs, in milliseconds.
constexpr int heater_time_out_ms = kvt::command_row(kvt::Command::heater_on).timeout_ms;
constexpr int phase_time_out_ms = kvt::command_row(kvt::Command::phase_set).timeout_ms;
constexpr int address_time_out_ms = kvt::command_row(kvt::Command::address_compact).timeout_ms;

constexpr int max_phase = 359; // degrees

// One maintenance exchange at a time over a borrowed driver.
class Maintenance_link
{
public:
    explicit Maintenance_link(kvt::Lidar& driver) : driver_(driver) {}
    virtual ~Maintenance_link() = default;
    Maintenance_link(const Maintenance_link&) = delete;
    Maintenance_link& operator=(const Maintenance_link&) = delete;

    // Drops input that belongs to no request, then writes the command. True when every
    // byte was written.
    virtual bool send(const std::string& command);
    // Collects the reply to the last command sent, each line followed by LF, against one
    // deadline: lines before its echo are another reply's and are skipped. True when the
    // reply ended with its empty line in time and its status line equals expected_status.
    virtual bool receive(std::string& response, const std::string& expected_status,
                         int time_out_ms);

    // Whether the last receive met the echo of its command; without it no reply came, and
    // the response is then a lone LF, as the panels have always shown it.
    bool echo_seen() const { return echo_seen_; }
    // Lines the last receive skipped before the echo, each followed by LF.
    const std::string& skipped() const { return skipped_; }
    kvt::Lidar& driver() { return driver_; }

private:
    kvt::Lidar& driver_;
    std::string echo_; // the last command sent, without its LF
    std::string skipped_;
    bool echo_seen_ = false;
};

// A link that keeps what the last exchange received, so that a refusal can say what came
// back in the words vyr and the Python module use.
class Recording_link : public Maintenance_link
{
public:
    using Maintenance_link::Maintenance_link;

    bool receive(std::string& response, const std::string& expected_status,
                 int time_out_ms) override;

    // Why the last exchange failed: "no answer within 1000 ms", "the reply did not end
    // within 1000 ms" or "the sensor answered status "01"".
    std::string why() const;
    // No echo of the command came back: nothing answered, as against a refusal.
    bool unanswered() const;

private:
    std::string response_;
    int time_out_ms_ = 0;
};

// Lines of a response text, empty ones kept.
std::vector<std::string> split_lines(const std::string& response);

// The unsigned number in base written in text[start, start + count), count 0 meaning to
// the end; a character that is not a digit below the base, or an empty range, gives 0.
int number_from_text(const std::string& text, int start, int count, int base);

std::string heater_command(bool on);
std::string phase_set_command(int degrees); // degrees 0..359
extern const char* const phase_get_command;

// Field texts as the user typed them, most significant first.
using Address = std::array<std::string, 4>;
struct Network_settings
{
    Address ip_address;
    Address subnet_mask;
    Address default_gateway;
};
std::string compact_address_command(const Network_settings& settings);
std::string dotted_address_command(const Network_settings& settings);

// Sends command (the row's own text when text is empty) and judges the reply by its row's
// status and time-out: a maintenance command that only sets needs no more than this.
bool exchange(Maintenance_link& link, kvt::Command command, const std::string& text = {});
// The same, keeping the response.
bool exchange(Maintenance_link& link, kvt::Command command, const std::string& text,
              std::string& response);

bool set_heater(Maintenance_link& link, bool on);
bool set_phase(Maintenance_link& link, int degrees);
// The phase the sensor reports, or -1 when the read failed or the reply holds no phase:
// its data line must start with three decimal digits of a value from 0 to max_phase.
int get_phase(Maintenance_link& link);

enum class Address_form { automatic, compact, dotted }; // automatic: compact, then dotted
enum class Address_result { changed, refused, reboot_failed };
// Sends the new settings and, once the sensor took them, reboots it, which closes the
// connection. Only a reboot that went through puts the new address in effect.
Address_result change_address(Maintenance_link& link, const Network_settings& settings,
                              Address_form form = Address_form::automatic);

} // namespace setting_commands

#endif
