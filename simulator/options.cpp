#include "options.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <utility>

namespace vyr_sim {

namespace {

const char* const usage_head =
    R"(usage: vyr_sim [options]

A simulated VYR sensor. It listens on loopback TCP and/or a pseudo-terminal and
prints one line per endpoint ("tcp A:N", "serial /dev/pts/N"). Stop it
with Ctrl-C or SIGTERM. While it runs, option lines typed on standard input
(for example "--fault trickle" or "--heater on") change it; a line "done" on
standard output follows each one once it is in force.

Endpoints
  --port N                TCP port (default 10940, 0 picks a free one)
  --address A             loopback address to listen on (default 127.0.0.1); after
                          "$IP" to another loopback address and "RB" it moves there
  --no-tcp                no TCP endpoint
  --serial                a pseudo-terminal endpoint
  --rate N                serial line speed the sensor answers at (default 115200)
  --mismatch silent|garbage  what it sends when the host's speed differs
  --record FILE           write every received command line to FILE on exit
  --replay FILE           serve the scans of a recording (vyr scan --record FILE):
                          its sensor's parameters and texts, its kind, range and
                          grouping, its values, time stamps and pace, from the first
                          scan again after the last; other requests are refused
                          (another kind "01", another grouping "03", other steps "04")

Sensor state
  --old-protocol on|off   answer "E" to everything until "ZEMA2.0"
  --time-adjust on|off    start in time-adjust mode ("QT" gives "0Ee")
  --param KEY=VALUE       a "PP" value (DMIN DMAX ARES AMIN AMAX AFRT SCAN MODL);
                          an empty value leaves the key out
  --version-field KEY=VALUE, --info-field KEY=VALUE   "VV" and "II" values
                          (in all three VALUE may hold \xHH for any byte, \\ for \)
  --scans-per-minute N    the scan rate (the "SCAN" value)
  --pacing scan|fast      scans at the scan rate or back to back
  --heater on|off, --phase N
  --ip A.B.C.D/MASK/GATEWAY   network settings
  --ip-forms compact|dotted|both|none   which "$IP" forms are accepted

Faults (repeatable; --no-fault NAME and --clear-faults undo them)
)";

const char* const usage_tail =
    R"(  --fault-command PREFIX  faults hit only commands starting with PREFIX
  --fault-delay MS        delay of the "delay" fault (default 3000)
  --trickle MS            pause between bytes of the "trickle" fault (default 2)
  --line-interval MS      pause between lines of "chatter" and "endless-reply" (default 1)

  --help                  this text
)";

bool to_int(const std::string& text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

// Dotted IPv4 in 127.0.0.0/8: the simulator never listens on a real network.
bool is_loopback_address(const std::string& text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

bool to_switch(const std::string& text, bool& value)
{
    value = text == "on";
    return text == "on" || text == "off";
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "\xHH" and "\\", so that any byte (NUL too) fits on a command line or a stdin line.
bool unescape(const std::string& text, std::string& bytes)
{
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hex_digit(text[i + 2]) >= 0 &&
                   hex_digit(text[i + 3]) >= 0) {
            bytes += static_cast<char>(hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool split_pair(const std::string& text, std::string& key, std::string& value)
{
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    key = text.substr(0, eq);
    return unescape(text.substr(eq + 1), value);
}

bool split_ip(const std::string& text, Ip_settings& ip)
{
    size_t a = text.find('/');
    size_t b = a == std::string::npos ? a : text.find('/', a + 1);
    if (b == std::string::npos)
        return false;
    ip.address = text.substr(0, a);
    ip.netmask = text.substr(a + 1, b - a - 1);
    ip.gateway = text.substr(b + 1);
    return true;
}

} // namespace

std::string usage_text()
{
    std::string text = usage_head;
    std::string line = "  --fault NAME            ";
    const size_t indent = line.size();
    const auto& names = fault_names();
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string word = names[i].name + std::string(i + 1 < names.size() ? "," : "");
        if (line.size() > indent && line.size() + 1 + word.size() > 78) {
            text += line + "\n";
            line = std::string(indent, ' ');
        }
        line += (line.size() > indent ? " " : "") + word;
    }
    return text + line + "\n" + usage_tail;
}

bool apply_options(const std::vector<std::string>& args, Simulator& sim, Endpoints& endpoints,
                   std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (opt == "--help") {
            endpoints.help = true;
            continue;
        }
        if (opt == "--no-tcp") {
            endpoints.tcp = false;
            continue;
        }
        if (opt == "--serial") {
            endpoints.serial = true;
            continue;
        }
        if (opt == "--clear-faults") {
            sim.clear_faults();
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "unknown option or missing value: " + opt;
            return false;
        }
        const std::string& arg = args[++i];
        long n = 0;
        bool on = false;
        std::string key, value;
        bool ok = true;
        if (opt == "--port")
            ok = to_int(arg, n) && n >= 0 && n <= 65535 && ((endpoints.port = int(n)), true);
        else if (opt == "--address")
            ok = is_loopback_address(arg) && ((endpoints.address = arg), true);
        else if (opt == "--rate")
            ok = to_int(arg, n) && n > 0 && (sim.set_serial_rate(n), true);
        else if (opt == "--mismatch")
            ok = (arg == "silent" || arg == "garbage") &&
                 (sim.set_mismatch(arg == "silent" ? Mismatch::silent : Mismatch::garbage), true);
        else if (opt == "--record")
            endpoints.record_path = arg;
        else if (opt == "--replay")
            endpoints.replay_path = arg;
        else if (opt == "--old-protocol")
            ok = to_switch(arg, on) && (sim.set_old_protocol(on), true);
        else if (opt == "--time-adjust")
            ok = to_switch(arg, on) && (sim.set_time_adjust_mode(on), true);
        else if (opt == "--param")
            ok = split_pair(arg, key, value) && (sim.set_parameter(key, value), true);
        else if (opt == "--version-field")
            ok = split_pair(arg, key, value) && (sim.set_version_field(key, value), true);
        else if (opt == "--info-field")
            ok = split_pair(arg, key, value) && (sim.set_info_field(key, value), true);
        else if (opt == "--scans-per-minute")
            ok = to_int(arg, n) && n > 0 && (sim.set_scans_per_minute(int(n)), true);
        else if (opt == "--pacing")
            ok = (arg == "scan" || arg == "fast") &&
                 (sim.set_pacing(arg == "fast" ? Pacing::fast : Pacing::scan_rate), true);
        else if (opt == "--heater")
            ok = to_switch(arg, on) && (sim.set_heater(on), true);
        else if (opt == "--phase")
            ok = to_int(arg, n) && n >= 0 && n <= 359 && (sim.set_phase(int(n)), true);
        else if (opt == "--ip") {
            Ip_settings ip;
            ok = split_ip(arg, ip) && (sim.set_ip_settings(ip), true);
        } else if (opt == "--ip-forms") {
            const std::pair<const char*, Ip_forms> forms[] = {{"compact", Ip_forms::compact},
                                                              {"dotted", Ip_forms::dotted},
                                                              {"both", Ip_forms::both},
                                                              {"none", Ip_forms::none}};
            ok = false;
            for (const auto& f : forms)
                if (arg == f.first) {
                    sim.set_ip_forms_accepted(f.second);
                    ok = true;
                }
        } else if (opt == "--fault" || opt == "--no-fault") {
            Fault f{};
            ok = fault_from_name(arg, f) && (sim.set_fault(f, opt == "--fault"), true);
        } else if (opt == "--fault-command")
            sim.set_fault_command(arg);
        else if (opt == "--fault-delay")
            ok = to_int(arg, n) && n >= 0 && (sim.set_fault_delay_ms(int(n)), true);
        else if (opt == "--trickle")
            ok = to_int(arg, n) && n >= 0 && (sim.set_trickle_ms(int(n)), true);
        else if (opt == "--line-interval")
            ok = to_int(arg, n) && n >= 0 && n <= 60000 &&
                 (sim.set_line_interval_ms(int(n)), true);
        else {
            error = "unknown option: " + opt;
            return false;
        }
        if (!ok) {
            error = "bad value for " + opt + ": " + arg;
            return false;
        }
    }
    return true;
}

} // namespace vyr_sim
