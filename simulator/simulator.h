#ifndef VYR_SIMULATOR_H
#define VYR_SIMULATOR_H

// A simulated VYR sensor on its own thread: a loopback TCP endpoint and a
// pseudo-terminal endpoint that speak the sensor's text protocol and its
// maintenance commands, with settable state and injectable faults.
// Every setter is thread-safe and may be called while the endpoints run.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vyr_sim {

// One command line as the sensor received it.
struct Received_line
{
    std::string text; // without the LF (or CR)
    long long msec;   // milliseconds since the Simulator was constructed
    long host_rate;   // serial: the line speed the host had set; 0 over TCP
};

// Faults; several may be active at once. They apply to every reply, or only to
// replies to commands starting with the prefix given to set_fault_command.
enum class Fault {
    no_answer,          // the command is recorded, nothing is sent back
    delay,              // the whole reply is sent after set_fault_delay_ms
    trickle,            // the reply goes out byte by byte, set_trickle_ms apart
    status_checksum,    // the status line carries a wrong checksum character
    data_checksum,      // the first data line carries a wrong checksum character
    wrong_echo,         // the echo's second character is changed
    long_line,          // the echo is padded to 120 characters
    close_after_status, // echo and status, then the link is closed (serial: silence)
    short_echo_range,   // scan echo announces fewer steps than the data holds
    long_echo_range,    // scan echo announces more steps than the data holds
    huge_range,         // scan echo announces 0000 to 9999 and sends 10000 steps
    leading_ampersand,  // scan data block starts with '&'
    no_steps,           // scans carry a time stamp but no data lines
    refused_status,     // the status line is "05" plus checksum, which no command accepts
    endless_data,       // data lines without values ("0") follow for ever; no empty line
    talk_on,            // after the whole reply, full data lines follow for ever
    repeated_reply,     // the whole reply is sent again and again, for ever
    // A chatty device that is no sensor: a line every set_line_interval_ms, never an
    // answer to a command the fault hits. Without a command prefix from the moment a
    // host is there, otherwise from the first command with the prefix on.
    chatter,
    endless_reply, // echo, status, data lines, then data lines one per line interval, no end
    ignore_stop,   // "QT" is never answered and a measurement goes on, whatever the prefix
    hostile_text,  // every "VV" and "II" value is hostile_text()
    hostile_status, // the status is two hostile bytes, which no command accepts
};

// Sent as every "VV" and "II" value by the hostile_text fault: bytes of 0x80 and
// above, ESC and BEL, markup that loads and links. No ';', so the value still
// parses as one field, and no NUL, which ends a stored reply line early (a value
// option with \x00 sends one).
const std::string& hostile_text();
// The two status characters of the hostile_status fault.
const std::string& hostile_status();

// Which forms of the "$IP" command the sensor takes.
enum class Ip_forms { compact, dotted, both, none };

// Scans are sent at the sensor's scan rate or back to back.
enum class Pacing { scan_rate, fast };

// What the serial endpoint sends when the host's line speed is not its own.
enum class Mismatch { silent, garbage };

struct Ip_settings
{
    std::string address = "192.168.0.10";
    std::string netmask = "255.255.255.0";
    std::string gateway = "192.168.0.1";
};

class Simulator
{
public:
    Simulator();
    ~Simulator(); // stops everything
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Endpoints. start_tcp listens on 127.0.0.1 (0 picks a free port); one
    // client at a time, the next accepted when the previous leaves.
    bool start_tcp(int port = 0);
    int tcp_port() const;
    bool start_serial(); // pseudo-terminal; the host opens serial_path()
    std::string serial_path() const;
    void stop(); // closes both endpoints and joins the thread

    // Record of received command lines, in order.
    std::vector<Received_line> received() const;
    void clear_received();
    bool wait_for_received(size_t count, int timeout_ms) const; // true once count lines are in
    int connections_accepted() const;                           // TCP clients accepted so far
    bool client_connected() const;                              // a TCP client is connected now
    bool write_record(const std::string& path) const;           // "msec<TAB>text" per line

    // Serial line speed: the sensor answers only while the host's speed equals this.
    void set_serial_rate(long rate); // default 115200
    long serial_rate() const;
    void set_mismatch(Mismatch m); // default silent

    // Protocol state.
    void set_old_protocol(bool on); // answer "E" to everything until "ZEMA2.0"
    bool old_protocol() const;
    void set_time_adjust_mode(bool on); // "QT" is answered with "0Ee" while on
    bool time_adjust_mode() const;
    bool laser_on() const;
    // "PP" lines "KEY:value;". Keys DMIN, DMAX, ARES, AMIN, AMAX, AFRT, SCAN (and MODL).
    // An empty value removes the key from the reply.
    void set_parameter(const std::string& key, const std::string& value);
    void set_scans_per_minute(int scans); // also sets "SCAN"
    // "VV" keys VEND, PROD, FIRM, PROT, SERI; "II" keys MODL, LASR, SCSP, MESM, SBPS,
    // TIME, STAT. An empty value removes the key.
    void set_version_field(const std::string& key, const std::string& value);
    void set_info_field(const std::string& key, const std::string& value);
    void set_pacing(Pacing p); // default scan_rate
    int reboot_count() const;  // completed "RB" pairs

    // Maintenance state.
    void set_heater(bool on);
    bool heater() const;
    void set_phase(int degrees);
    int phase() const;
    void set_ip_settings(const Ip_settings& ip);
    Ip_settings ip_settings() const;
    void set_ip_forms_accepted(Ip_forms forms); // default both

    // Faults.
    // Endless output (endless_data, talk_on, repeated_reply) ends at the next change; a
    // delay or trickle under way ends too, the rest of its reply sent at once.
    void set_fault(Fault f, bool on = true);
    void clear_faults();
    // True once no reply is on its way (delays and trickles included) within timeout_ms.
    bool wait_until_quiet(int timeout_ms) const;
    void set_fault_command(const std::string& prefix); // empty: every command
    void set_fault_delay_ms(int ms);                   // default 3000
    void set_trickle_ms(int ms);                       // default 2
    void set_line_interval_ms(int ms);                 // chatter, endless_reply; default 1

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Deterministic scan data. step is absolute; scan counts the sensor's scans
// within one request from 0 (skipped scans included); echo is 0..2. A group of
// steps reports the values of its first step.
long sim_distance(int step, int scan, int echo);
unsigned short sim_intensity(int step, int scan, int echo);
int sim_echo_count(int step, int scan); // 1..3; single-echo requests send echo 0 only

} // namespace vyr_sim

#endif
