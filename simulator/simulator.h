#ifndef VYR_SIMULATOR_H
#define VYR_SIMULATOR_H

// A simulated VYR sensor on its own thread: a loopback TCP endpoint and a
// pseudo-terminal endpoint that speak the sensor's text protocol and its
// maintenance commands, with settable state and injectable faults.
// Its settings change in one locked update, also while the endpoints run.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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

// The names options and option lines give the faults ("no-answer", ...), one per
// Fault in enum order.
struct Fault_name
{
    Fault fault;
    const char* name;
};
const std::vector<Fault_name>& fault_names();
bool fault_from_name(const std::string& name, Fault& fault);
const char* fault_name(Fault fault);

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

using Fields = std::vector<std::pair<std::string, std::string>>;

// One recorded scan as the sensor sends it again.
struct Replay_scan
{
    long time_stamp = 0;
    int echo_slots = 1;                    // values kept per step: 3 for multi-echo, else 1
    std::vector<long> distance;            // echo_slots per step; 0 after echo 0: no echo
    std::vector<unsigned short> intensity; // the same layout, or empty
};

// A recording the sensor serves in place of its own values: requests of its kind, range
// and grouping get its scans in turn, at its pace, from the first again after the last.
struct Replay
{
    bool multiecho = false;
    bool intensity = false;
    int first = 0; // absolute steps of the recorded request
    int last = 0;
    int group = 1;
    std::vector<long> time_stamps; // one per scan, ms
    long loop_gap_ms = 100;        // from the last scan to the first again
    // Fills the scan of that index; false when it cannot be had.
    std::function<bool(long index, Replay_scan& scan)> read;
};

// Replaces, adds, or with an empty value removes, the field of that key.
void set_field(Fields& fields, const std::string& key, const std::string& value);

// What the host of a Simulator may set and read; changed only through update().
struct Sensor_settings
{
    // Serial line speed: the sensor answers only while the host's speed equals this.
    long serial_rate = 115200;
    Mismatch mismatch = Mismatch::silent;
    bool old_protocol = false; // answer "E" to everything until "ZEMA2.0"
    bool time_adjust = false;  // "QT" is answered with "0Ee" while on
    bool heater = false;
    int phase = 0;
    Ip_settings ip;
    Ip_forms ip_forms = Ip_forms::both;
    // "PP" keys DMIN, DMAX, ARES, AMIN, AMAX, AFRT, SCAN (and MODL); "VV" keys VEND,
    // PROD, FIRM, PROT, SERI; "II" keys MODL, LASR, SCSP, MESM, SBPS, TIME, STAT.
    Fields parameters{{"MODL", "VYR-SIM01"}, {"DMIN", "20"},  {"DMAX", "5600"}, {"ARES", "1024"},
                      {"AMIN", "44"},        {"AMAX", "725"}, {"AFRT", "384"},  {"SCAN", "600"}};
    Fields version{{"VEND", "VYR simulated sensors"},
                   {"PROD", "VYR-SIM01"},
                   {"FIRM", "1.2.3 (2026-12-01)"},
                   {"PROT", "ZEMA2.0"},
                   {"SERI", "S0000001"}};
    Fields info{{"MODL", "VYR-SIM01"},    {"LASR", "OFF"},          {"SCSP", "600 [rpm]"},
                {"MESM", "Idle (ready)"}, {"SBPS", "115200 [bps]"}, {"TIME", "000000"},
                {"STAT", "Stable 000 no error."}};
    Pacing pacing = Pacing::scan_rate;
    // Shared, not copied: a snapshot must stay cheap.
    std::shared_ptr<const Replay> replay;

    // Faults: one bit per Fault. They hit replies to commands starting with
    // fault_prefix (empty: every command).
    unsigned faults = 0;
    std::string fault_prefix;
    int fault_delay_ms = 3000;
    int trickle_ms = 2;
    int line_interval_ms = 1; // chatter, endless_reply

    // Kept by the sensor itself.
    bool laser = false;
    int reboots = 0; // completed "RB" pairs

    void set_fault(Fault f, bool on = true);
};

class Simulator
{
public:
    Simulator();
    ~Simulator(); // stops everything
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Endpoints. start_tcp listens on a loopback address, 127.0.0.1 unless given (0
    // picks a free port); one client at a time, the next accepted when the previous leaves.
    bool start_tcp(int port = 0, const std::string& address = "127.0.0.1");
    std::string tcp_address() const;
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

    // One change of the settings, under the lock the endpoints answer under. A
    // change of faults ends endless output, and a delay or trickle under way (the
    // rest of its reply is sent at once).
    void update(const std::function<void(Sensor_settings&)>& change);
    Sensor_settings snapshot() const;

    // Shorthands for update() and snapshot().
    void set_serial_rate(long rate) { update([&](Sensor_settings& s) { s.serial_rate = rate; }); }
    long serial_rate() const { return snapshot().serial_rate; }
    void set_mismatch(Mismatch m) { update([&](Sensor_settings& s) { s.mismatch = m; }); }
    void set_old_protocol(bool on) { update([&](Sensor_settings& s) { s.old_protocol = on; }); }
    bool old_protocol() const { return snapshot().old_protocol; }
    void set_time_adjust_mode(bool on) { update([&](Sensor_settings& s) { s.time_adjust = on; }); }
    bool time_adjust_mode() const { return snapshot().time_adjust; }
    bool laser_on() const { return snapshot().laser; }
    void set_parameter(const std::string& key, const std::string& value)
    {
        update([&](Sensor_settings& s) { set_field(s.parameters, key, value); });
    }
    void set_scans_per_minute(int scans) { set_parameter("SCAN", std::to_string(scans)); }
    void set_version_field(const std::string& key, const std::string& value)
    {
        update([&](Sensor_settings& s) { set_field(s.version, key, value); });
    }
    void set_info_field(const std::string& key, const std::string& value)
    {
        update([&](Sensor_settings& s) { set_field(s.info, key, value); });
    }
    void set_pacing(Pacing p) { update([&](Sensor_settings& s) { s.pacing = p; }); }
    void set_replay(std::shared_ptr<const Replay> replay)
    {
        update([&](Sensor_settings& s) { s.replay = std::move(replay); });
    }
    int reboot_count() const { return snapshot().reboots; }
    void set_heater(bool on) { update([&](Sensor_settings& s) { s.heater = on; }); }
    bool heater() const { return snapshot().heater; }
    void set_phase(int degrees) { update([&](Sensor_settings& s) { s.phase = degrees; }); }
    int phase() const { return snapshot().phase; }
    void set_ip_settings(const Ip_settings& ip) { update([&](Sensor_settings& s) { s.ip = ip; }); }
    Ip_settings ip_settings() const { return snapshot().ip; }
    void set_ip_forms_accepted(Ip_forms forms)
    {
        update([&](Sensor_settings& s) { s.ip_forms = forms; });
    }
    // Setting a fault again counts as a change too.
    void set_fault(Fault f, bool on = true);
    void clear_faults();
    void set_fault_command(const std::string& prefix)
    {
        update([&](Sensor_settings& s) { s.fault_prefix = prefix; });
    }
    void set_fault_delay_ms(int ms) { update([&](Sensor_settings& s) { s.fault_delay_ms = ms; }); }
    void set_trickle_ms(int ms) { update([&](Sensor_settings& s) { s.trickle_ms = ms; }); }
    void set_line_interval_ms(int ms)
    {
        update([&](Sensor_settings& s) { s.line_interval_ms = ms; });
    }

    // True once no reply is on its way (delays and trickles included) within timeout_ms.
    bool wait_until_quiet(int timeout_ms) const;

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
