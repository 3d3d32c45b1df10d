#ifndef KVT_PROTOCOL_TABLE_H
#define KVT_PROTOCOL_TABLE_H

// Every command the program sends, written once: its text, the statuses it accepts, the
// reply it expects and how long that may take. The engine, the maintenance operations and
// docs/protocol.md all take them from here.

namespace kvt {

enum class Command {
    stop,            // QT
    handshake,       // ZEMA2.0
    laser_on,        // BM
    parameters,      // PP
    version,         // VV
    state,           // II
    reboot,          // RB
    baud_rate,       // SS
    time_adjust_on,  // TM0
    sensor_time,     // TM1
    time_adjust_off, // TM2
    sleep,           // %SL
    heater_off,      // %AH0
    heater_on,       // %AH1
    phase_set,       // %SP
    phase_get,       // %PG
    address_compact, // $IP, twelve digits a field
    address_dotted,  // $IP, dotted fields
    scan_single,     // one scan, letters from measurement_kinds
    scan_series,     // a series of scans
    count
};

// How a reply is read.
enum class Framing {
    // The first line must be the echo; the status line's checksum is checked and its
    // number judged against the accepted list; every data line carries a checksum; each
    // line gets the whole time-out.
    engine,
    // Lines before the echo belong to an earlier reply and are skipped; the status line
    // must equal the accepted text exactly; data lines are not checked; one time-out for
    // the whole reply, and a reply completed after it fails.
    maintenance,
    // Read by the measurement reader: acknowledgement, then scans of status 99.
    scan,
};

// Where a command's time-out comes from.
enum class Wait {
    fixed,  // timeout_ms
    open,   // the open's, VYR_OPEN_TIMEOUT
    sensor, // the sensor's reply time-out (timeout_msec of the handle)
};

namespace protocol {
// Bytes of one reply line and its NUL, as the engine reads them.
constexpr int line_size = 72;
// A status line of three characters and the NUL the framer stores after it: the start of
// the first data line in a reply buffer.
constexpr int status_line_size = 4;
// A reply buffer that holds this many lines of the longest length whole, NULs included.
constexpr int reply_size_for(int lines)
{
    return lines * line_size;
}

// Status lines the engine tells apart: status 00, 0E (time-adjust mode) with their checksums,
// and the lone "E" of the older protocol version.
inline constexpr char status_ok[] = "00P";
inline constexpr char status_time_adjust[] = "0Ee";
inline constexpr char status_old_protocol[] = "E";

// The two statuses of a series, as the start of the status line: its acknowledgement, then
// every scan.
inline constexpr char scan_acknowledged[] = "00";
inline constexpr char scan_follows[] = "99";

// Accepted status numbers, each list ended by -1.
inline constexpr int status_zero[] = {0, -1};
inline constexpr int status_laser[] = {0, 2, -1};
inline constexpr int status_reboot[] = {0, 1, -1};
inline constexpr int status_rate[] = {0, 3, 4, -1};
inline constexpr int status_scan[] = {0, 99, -1}; // acknowledged, then a scan follows
} // namespace protocol

struct Command_row
{
    Command id;
    const char* name;
    const char* text;        // as sent, or its printf format
    bool is_format;          // text is a printf format
    const int* accepted;     // accepted status numbers, ended by -1 (engine framing)
    const char* status_text; // the status line exactly (maintenance framing)
    int data_lines;          // data lines the reply has at least; -1: as many as it needs
    int reply_size;          // bytes of the reply the caller keeps; 0: none
    Wait wait;
    int timeout_ms; // Wait::fixed only
    Framing framing;
    const char* purpose;
};

inline constexpr Command_row command_table[] = {
    {Command::stop, "QT", "QT\n", false, protocol::status_zero, nullptr, 0,
     protocol::status_line_size, Wait::open, 0, Framing::engine,
     "Stops a measurement; at open, the probe that finds the line's rate."},
    {Command::handshake, "ZEMA2.0", "ZEMA2.0\n", false, protocol::status_zero, nullptr, 0, 0,
     Wait::open, 0, Framing::engine,
     "Switches a sensor that answered the probe with the older protocol's \"E\" to this one."},
    {Command::laser_on, "BM", "BM\n", false, protocol::status_laser, nullptr, 0, 0, Wait::sensor, 0,
     Framing::engine, "Switches the laser on before a single scan."},
    {Command::parameters, "PP", "PP\n", false, protocol::status_zero, nullptr, 8,
     protocol::reply_size_for(9), Wait::open, 0, Framing::engine,
     "Reads the step area, distance limits and scan rate at open."},
    {Command::version, "VV", "VV\n", false, protocol::status_zero, nullptr, 5,
     protocol::reply_size_for(7), Wait::sensor, 0, Framing::engine,
     "Reads product, firmware version and serial number."},
    {Command::state, "II", "II\n", false, protocol::status_zero, nullptr, 7,
     protocol::reply_size_for(9), Wait::sensor, 0, Framing::engine,
     "Reads the sensor status and the measurement state."},
    {Command::reboot, "RB", "RB\n", false, protocol::status_reboot, nullptr, 0, 0, Wait::sensor, 0,
     Framing::engine, "Restarts the sensor once sent twice; the link ends."},
    {Command::baud_rate, "SS", "SS%06ld\n", true, protocol::status_rate, nullptr, 0, 0,
     Wait::sensor, 0, Framing::engine,
     "Sets the serial rate (six digits) when the open found another."},
    {Command::time_adjust_on, "TM0", "TM0\n", false, protocol::status_zero, nullptr, 0, 0,
     Wait::sensor, 0, Framing::engine, "Enters time-adjust mode."},
    {Command::sensor_time, "TM1", "TM1\n", false, protocol::status_zero, nullptr, 1,
     protocol::reply_size_for(1), Wait::sensor, 0, Framing::engine,
     "Reads the sensor's time in time-adjust mode: four characters and a checksum."},
    {Command::time_adjust_off, "TM2", "TM2\n", false, protocol::status_zero, nullptr, 0, 0,
     Wait::sensor, 0, Framing::engine,
     "Leaves time-adjust mode; at open, for a sensor left in it (status 0E)."},
    {Command::sleep, "%SL", "%SL\n", false, protocol::status_zero, nullptr, 0,
     protocol::status_line_size, Wait::open, 0, Framing::engine,
     "Puts the sensor to sleep after stopping any measurement."},
    {Command::heater_off, "%AH0", "%AH0\n", false, nullptr, protocol::status_ok, 0, 0, Wait::fixed,
     2000, Framing::maintenance, "Switches the heater off."},
    {Command::heater_on, "%AH1", "%AH1\n", false, nullptr, protocol::status_ok, 0, 0, Wait::fixed,
     2000, Framing::maintenance, "Switches the heater on."},
    {Command::phase_set, "%SP", "%%SP%03d\n", true, nullptr, protocol::status_ok, 0, 0, Wait::fixed,
     1000, Framing::maintenance, "Sets the phase, 0 to 359 degrees in three digits."},
    {Command::phase_get, "%PG", "%PG\n", false, nullptr, protocol::status_ok, 1, 0, Wait::fixed,
     1000, Framing::maintenance, "Reads the phase: its data line starts with three digits."},
    {Command::address_compact, "$IP (compact)", "$IP%s%s%s\n", true, nullptr, "0", 0, 0,
     Wait::fixed, 1000, Framing::maintenance,
     "Sets address, mask and gateway, each field three digits, no separators."},
    {Command::address_dotted, "$IP (dotted)", "$IP%s %s %s\n", true, nullptr, protocol::status_ok,
     0, 0, Wait::fixed, 1000, Framing::maintenance,
     "The same for sensors that want dotted fields; tried when the compact form fails."},
    {Command::scan_single, "scan (one)", "%c%c%04d%04d%02d\n", true, protocol::status_zero, nullptr,
     -1, 0, Wait::sensor, 0, Framing::scan,
     "One scan: kind letters, first and last step, steps grouped."},
    {Command::scan_series, "scan (series)", "%c%c%04d%04d%02d%01d%02d\n", true,
     protocol::status_scan, nullptr, -1, 0, Wait::sensor, 0, Framing::scan,
     "A series: the same, then scans skipped between two sent and the count (00 endless)."},
};

constexpr int command_count = static_cast<int>(Command::count);
static_assert(sizeof command_table / sizeof command_table[0] == command_count,
              "one row for every command");

constexpr bool rows_in_order()
{
    for (int i = 0; i < command_count; ++i) {
        if (static_cast<int>(command_table[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_order(), "rows in the order of Command");

// The maintenance link judges a status text against a fixed time-out; the engine a list of
// numbers against a time-out it may take from the sensor. (Not a static_assert: with the
// sanitizers GCC does not fold an address compared with null.)
inline bool row_fits_its_framing(const Command_row& row)
{
    const bool maintenance = row.framing == Framing::maintenance;
    return maintenance == (row.status_text != nullptr) &&
           maintenance == (row.accepted == nullptr) && maintenance == (row.wait == Wait::fixed);
}

constexpr const Command_row& command_row(Command command)
{
    return command_table[static_cast<int>(command)];
}

// Whether line is the echo of row's text: that text without its LF.
inline bool is_echo_line(const char* line, const Command_row& row)
{
    int i = 0;
    for (; row.text[i] != '\0' && row.text[i] != '\n'; ++i) {
        if (line[i] != row.text[i]) {
            return false;
        }
    }
    return line[i] == '\0';
}

// Lines before the empty line a reply of row must have: echo, status and its data lines.
constexpr int reply_lines(const Command_row& row)
{
    return row.data_lines < 0 ? 2 : 2 + row.data_lines;
}

} // namespace kvt

#endif
