#include "sensor_model.h"

#include "encoding.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vyr_sim {

namespace {

// A reply before faults and framing are applied.
struct Reply
{
    std::string echo;
    std::string status;            // the whole status line, checksum included
    std::vector<std::string> data; // whole lines, checksums included
    size_t spoil_from = 0;         // first line a data checksum fault may spoil
    bool close = false;
    long new_rate = 0;
};

Reply status_reply(const std::string& echo, const std::string& status)
{
    Reply r;
    r.echo = echo;
    r.status = with_checksum(status);
    return r;
}

// "KEY:value;" lines whose checksum leaves out the separator.
std::vector<std::string> field_lines(const Fields& fields)
{
    std::vector<std::string> lines;
    for (const auto& f : fields) {
        std::string body = f.first + ":" + f.second;
        lines.push_back(body + ";" + checksum(body));
    }
    return lines;
}

int field_number(const Fields& fields, const std::string& key, int fallback)
{
    for (const auto& f : fields)
        if (f.first == key)
            return std::atoi(f.second.c_str());
    return fallback;
}

bool all_digits(const std::string& s, size_t pos, size_t count)
{
    if (pos + count > s.size())
        return false;
    for (size_t i = pos; i < pos + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

int number_at(const std::string& s, size_t pos, size_t count)
{
    return std::atoi(s.substr(pos, count).c_str());
}

char spoiled(char c)
{
    return static_cast<char>(((c - '0' + 1) & 0x3f) + '0');
}

Output render(const Sensor_state& state, const Reply& reply, const std::string& command)
{
    auto fault = [&](Fault f) { return state.has_fault(f, command); };
    Output out;
    out.close = reply.close;
    out.new_rate = reply.new_rate;
    if (fault(Fault::delay))
        out.delay_ms = state.fault_delay_ms;
    if (fault(Fault::trickle))
        out.trickle_ms = std::max(1, state.trickle_ms);

    std::string echo = reply.echo;
    if (fault(Fault::wrong_echo)) {
        if (echo.size() >= 2)
            echo[1] = echo[1] == 'x' ? 'y' : 'x';
        else
            echo += 'x';
    }
    if (fault(Fault::long_line) && echo.size() < 120)
        echo.append(120 - echo.size(), '-');
    std::string status = reply.status;
    if (fault(Fault::refused_status))
        status = with_checksum("05");
    if (fault(Fault::hostile_status))
        status = with_checksum(hostile_status());
    if (fault(Fault::status_checksum) && status.size() == 3)
        status[2] = spoiled(status[2]);
    out.bytes = echo + "\n" + status + "\n";
    if (fault(Fault::close_after_status)) {
        out.close = true;
        return out;
    }
    for (size_t i = 0; i < reply.data.size(); ++i) {
        std::string line = reply.data[i];
        if (i == reply.spoil_from && fault(Fault::data_checksum) && !line.empty())
            line.back() = spoiled(line.back());
        out.bytes += line + "\n";
    }
    if (fault(Fault::endless_data)) {
        out.endless_line = with_checksum("") + "\n";
        return out;
    }
    if (fault(Fault::endless_reply)) {
        out.stream_lines = reply.data;
        if (out.stream_lines.empty())
            out.stream_lines.push_back(with_checksum(std::string(64, 'O')));
        out.stream_fault = Fault::endless_reply;
        out.stream_command = command;
        out.line_interval_ms = state.line_interval_ms;
        return out;
    }
    out.bytes += "\n";
    if (fault(Fault::talk_on))
        out.endless_line = with_checksum(std::string(64, 'O')) + "\n";
    else if (fault(Fault::repeated_reply))
        out.endless_line = out.bytes;
    return out;
}

bool parse_octets(const std::string& text, bool dotted, std::string& address)
{
    // Three-digit fields, with a dot between them in the dotted form.
    const size_t step = dotted ? 4 : 3;
    if (text.size() != (dotted ? 15u : 12u))
        return false;
    address.clear();
    for (int i = 0; i < 4; ++i) {
        size_t pos = static_cast<size_t>(i) * step;
        if (!all_digits(text, pos, 3))
            return false;
        if (dotted && i < 3 && text[pos + 3] != '.')
            return false;
        int v = number_at(text, pos, 3);
        if (v > 255)
            return false;
        address += (i ? "." : "") + std::to_string(v);
    }
    return true;
}

Reply ip_reply(Sensor_state& state, const std::string& line)
{
    const std::string refused = "01";
    std::string body = line.substr(3);
    Ip_settings ip;
    bool compact = body.size() == 36 && parse_octets(body.substr(0, 12), false, ip.address) &&
                   parse_octets(body.substr(12, 12), false, ip.netmask) &&
                   parse_octets(body.substr(24, 12), false, ip.gateway);
    bool dotted = body.size() == 47 && body[15] == ' ' && body[31] == ' ' &&
                  parse_octets(body.substr(0, 15), true, ip.address) &&
                  parse_octets(body.substr(16, 15), true, ip.netmask) &&
                  parse_octets(body.substr(32, 15), true, ip.gateway);
    bool takes_compact = state.ip_forms == Ip_forms::compact || state.ip_forms == Ip_forms::both;
    bool takes_dotted = state.ip_forms == Ip_forms::dotted || state.ip_forms == Ip_forms::both;
    if (compact && takes_compact) {
        state.ip = ip;
        Reply r;
        r.echo = line;
        r.status = "0"; // this form answers with a bare status character
        return r;
    }
    if (dotted && takes_dotted) {
        state.ip = ip;
        return status_reply(line, "00");
    }
    return status_reply(line, refused);
}

bool supported_rate(long rate)
{
    return rate == 19200 || rate == 38400 || rate == 57600 || rate == 115200;
}

std::string scan_echo(const Scan_request& req, int first, int last, int remaining)
{
    char buf[32];
    if (req.kind == 'G' || req.kind == 'H')
        std::snprintf(buf, sizeof buf, "%c%c%04d%04d%02d", req.kind, req.data, first, last,
                      req.group);
    else
        std::snprintf(buf, sizeof buf, "%c%c%04d%04d%02d%01d%02d", req.kind, req.data, first, last,
                      req.group, req.skip, remaining);
    return buf;
}

void append_unit(std::string& stream, bool intensity, int step, int scan, int echo)
{
    stream += encode_value(sim_distance(step, scan, echo), 3);
    if (intensity)
        stream += encode_value(sim_intensity(step, scan, echo), 3);
}

// The values of a request taken from a recorded scan: the request's steps may start
// further in, by whole groups.
std::string recorded_stream(const Replay& replay, const Replay_scan& scan, const Scan_request& req,
                            int values)
{
    std::string stream;
    const int group = std::max(1, replay.group);
    const size_t slots = static_cast<size_t>(std::max(1, scan.echo_slots));
    const size_t offset = static_cast<size_t>((req.first - replay.first) / group);
    const bool intensity = req.data == 'E';
    for (size_t k = offset; k < offset + static_cast<size_t>(values); ++k) {
        const size_t slot = k * slots;
        if (slot >= scan.distance.size())
            break;
        for (size_t e = 0; e < slots && (e == 0 || scan.distance[slot + e] != 0); ++e) {
            if (e > 0)
                stream += '&';
            stream += encode_value(scan.distance[slot + e] & 0x3ffff, 3);
            if (intensity)
                stream += encode_value(
                    slot + e < scan.intensity.size() ? scan.intensity[slot + e] : 0, 3);
        }
    }
    return stream;
}

// One scan reply: echo, status, time stamp, data lines, empty line. A recorded scan,
// when given, brings its values and its time stamp.
Reply scan_reply(const Sensor_state& state, const Scan_request& req, const std::string& status,
                 int scan, int remaining, Clock::time_point now,
                 const Replay_scan* recorded = nullptr)
{
    auto fault = [&](Fault f) { return state.has_fault(f, req.command); };
    const bool multi = req.kind == 'H' || req.kind == 'N';
    const bool intensity = req.data == 'E';
    int first = req.first;
    int last = req.last;
    int group = std::max(1, req.group);
    if (fault(Fault::huge_range)) {
        first = 0;
        last = 9999;
        group = 1;
    }
    const int values = (last - first) / group + 1;

    std::string stream;
    if (fault(Fault::leading_ampersand)) {
        stream += '&';
        append_unit(stream, intensity, first, scan, 1);
    }
    if (recorded)
        stream += recorded_stream(*state.replay, *recorded, req, values);
    for (int k = 0; k < values && !recorded; ++k) {
        int step = first + k * group;
        int echoes = multi ? sim_echo_count(step, scan) : 1;
        for (int e = 0; e < echoes; ++e) {
            if (e > 0)
                stream += '&';
            append_unit(stream, intensity, step, scan, e);
        }
    }

    int echo_last = last;
    if (fault(Fault::short_echo_range))
        echo_last = first + std::max(0, values - 2);
    else if (fault(Fault::long_echo_range))
        echo_last = std::min(9999, last + 10);

    Reply r = status_reply(scan_echo(req, first, echo_last, remaining), status);
    const long stamp = recorded ? recorded->time_stamp : state.sensor_msec(now);
    r.data.push_back(with_checksum(encode_value(stamp & 0xffffff, 4)));
    r.spoil_from = 1;
    if (!fault(Fault::no_steps)) {
        std::string lines = data_lines(stream);
        size_t pos = 0;
        while (pos < lines.size()) {
            size_t end = lines.find('\n', pos);
            r.data.push_back(lines.substr(pos, end - pos));
            pos = end + 1;
        }
    }
    return r;
}

// The status a sensor gives a request the recording cannot answer; empty when it can.
// A range within the recorded one is answered when it starts on a recorded group.
std::string replay_refusal(const Replay& replay, const Scan_request& req)
{
    const bool multi = req.kind == 'H' || req.kind == 'N';
    if (multi != replay.multiecho || (req.data == 'E') != replay.intensity)
        return "01"; // as for a request it cannot read
    if (std::max(1, req.group) != std::max(1, replay.group))
        return "03";
    if (req.first < replay.first || req.last > replay.last ||
        (req.first - replay.first) % std::max(1, replay.group) != 0)
        return "04";
    return "";
}

// The recorded scan to send next, and the session's cursor moved past it (and past the
// scans a skip leaves out). False when the recording has none to give.
bool next_recorded_scan(const Replay& replay, Session& session, int skip, Replay_scan& scan,
                        long long& gap_ms)
{
    const long count = static_cast<long>(replay.time_stamps.size());
    if (count == 0)
        return false;
    const long index = session.replay_index % count;
    gap_ms = 0;
    long at = index;
    for (int i = 0; i <= skip; ++i) {
        const long next = (at + 1) % count;
        const long long gap = next == 0 ? replay.loop_gap_ms
                                        : static_cast<long long>(replay.time_stamps[next]) -
                                              replay.time_stamps[at];
        // A time stamp that wrapped or jumped is no pace to keep.
        gap_ms += gap >= 0 && gap <= 10000 ? gap : replay.loop_gap_ms;
        at = next;
    }
    session.replay_index = at;
    return replay.read && replay.read(index, scan);
}

Reply scan_request_reply(Sensor_state& state, Session& session, const std::string& line,
                         Clock::time_point now)
{
    const bool single = line[0] == 'G' || line[0] == 'H';
    const size_t length = single ? 12 : 15;
    if (line.size() != length || (line[1] != 'D' && line[1] != 'E') ||
        !all_digits(line, 2, length - 2))
        return status_reply(line, "01");
    Scan_request req;
    req.command = line;
    req.kind = line[0];
    req.data = line[1];
    req.first = number_at(line, 2, 4);
    req.last = number_at(line, 6, 4);
    req.group = number_at(line, 10, 2);
    if (!single) {
        req.skip = number_at(line, 12, 1);
        req.count = number_at(line, 13, 2);
    }
    const int area_max = field_number(state.parameters, "AMAX", 725);
    if (req.first > req.last || req.last > area_max)
        return status_reply(line, "04");
    if (req.group == 0)
        req.group = 1;
    if (state.replay) {
        const std::string refusal = replay_refusal(*state.replay, req);
        if (!refusal.empty())
            return status_reply(line, refusal);
    }
    if (single) {
        if (!state.laser)
            return status_reply(line, "02");
        if (state.replay) {
            Replay_scan recorded;
            long long gap = 0;
            if (!next_recorded_scan(*state.replay, session, 0, recorded, gap))
                recorded = Replay_scan{};
            return scan_reply(state, req, "00", 0, 0, now, &recorded);
        }
        return scan_reply(state, req, "00", 0, 0, now);
    }
    state.laser = true;
    session.scanning = true;
    session.scan = req;
    session.next_scan = now;
    if (state.pacing == Pacing::scan_rate)
        session.next_scan += std::chrono::milliseconds(60000 / state.scans_per_minute());
    return status_reply(line, "00");
}

void stop_scanning(Sensor_state& state, Session& session)
{
    session.scanning = false;
    state.laser = false;
}

// What a command's handler may look at and change.
struct Command
{
    Sensor_state& state;
    Session& session;
    const std::string& line;
    Clock::time_point now;
};

Reply fields_reply(Command& c, const Fields& fields)
{
    Reply r = status_reply(c.line, "00");
    if (c.line != "PP" && c.state.has_fault(Fault::hostile_text, c.line)) {
        Fields hostile = fields;
        for (auto& f : hostile)
            f.second = hostile_text();
        r.data = field_lines(hostile);
    } else {
        r.data = field_lines(fields);
    }
    return r;
}

Reply reboot_reply(Command& c)
{
    // A reboot needs the same command twice within a second.
    if (c.session.reboot_armed && c.now - c.session.reboot_time <= std::chrono::seconds(1)) {
        c.session.reboot_armed = false;
        stop_scanning(c.state, c.session);
        c.state.time_adjust = false;
        ++c.state.reboots;
        Reply r = status_reply(c.line, "00");
        r.close = true;
        return r;
    }
    c.session.reboot_armed = true;
    c.session.reboot_time = c.now;
    return status_reply(c.line, "01");
}

Reply rate_reply(Command& c)
{
    const std::string& line = c.line;
    if (line.size() != 8 || !all_digits(line, 2, 6))
        return status_reply(line, "01");
    long rate = std::atol(line.c_str() + 2);
    if (rate == c.state.serial_rate)
        return status_reply(line, "03");
    if (!supported_rate(rate))
        return status_reply(line, "04");
    Reply r = status_reply(line, "00");
    r.new_rate = rate;
    return r;
}

Reply set_phase_reply(Command& c)
{
    const std::string& line = c.line;
    if (line.size() != 6 || !all_digits(line, 3, 3) || number_at(line, 3, 3) > 359)
        return status_reply(line, "01");
    c.state.phase = number_at(line, 3, 3);
    return status_reply(line, "00");
}

Reply phase_reply(Command& c)
{
    Reply r = status_reply(c.line, "00");
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", c.state.phase % 1000);
    r.data.push_back(with_checksum(digits));
    return r;
}

Reply time_reply(Command& c)
{
    if (!c.state.time_adjust)
        return status_reply(c.line, "01");
    Reply r = status_reply(c.line, "00");
    r.data.push_back(with_checksum(encode_value(c.state.sensor_msec(c.now) & 0xffffff, 4)));
    return r;
}

Reply scan_row(Command& c)
{
    return scan_request_reply(c.state, c.session, c.line, c.now);
}

struct Command_row
{
    const char* text;
    bool prefix; // the line starts with text; otherwise it is text
    Reply (*answer)(Command&);
};

Reply confirmed(Command& c)
{
    return status_reply(c.line, "00");
}

// First match wins; a line no row takes is an unknown command.
// clang-format off
const Command_row command_table[] = {
    {"ZEMA2.0", false, [](Command& c) { c.state.old_protocol = false; return confirmed(c); }},
    {"QT", false,
     [](Command& c) {
         if (c.state.time_adjust)
             return status_reply(c.line, "0E");
         stop_scanning(c.state, c.session);
         return confirmed(c);
     }},
    {"PP", false, [](Command& c) { return fields_reply(c, c.state.parameters); }},
    {"VV", false, [](Command& c) { return fields_reply(c, c.state.version); }},
    {"II", false, [](Command& c) { return fields_reply(c, c.state.info); }},
    {"BM", false,
     [](Command& c) {
         Reply r = status_reply(c.line, c.state.laser ? "02" : "00");
         c.state.laser = true;
         return r;
     }},
    {"TM0", false, [](Command& c) { c.state.time_adjust = true; return confirmed(c); }},
    {"TM1", false, time_reply},
    {"TM2", false, [](Command& c) { c.state.time_adjust = false; return confirmed(c); }},
    {"RB", false, reboot_reply},
    {"SS", true, rate_reply},
    {"%SL", false, [](Command& c) { stop_scanning(c.state, c.session); return confirmed(c); }},
    {"%AH1", false, [](Command& c) { c.state.heater = true; return confirmed(c); }},
    {"%AH0", false, [](Command& c) { c.state.heater = false; return confirmed(c); }},
    {"%SP", true, set_phase_reply},
    {"%PG", false, phase_reply},
    {"$IP", true, [](Command& c) { return ip_reply(c.state, c.line); }},
    {"G", true, scan_row},
    {"H", true, scan_row},
    {"M", true, scan_row},
    {"N", true, scan_row},
};
// clang-format on

Reply command_reply(Sensor_state& state, Session& session, const std::string& line,
                    Clock::time_point now)
{
    if (state.old_protocol && line != "ZEMA2.0") {
        Reply r;
        r.echo = line;
        r.status = "E";
        return r;
    }
    Command c{state, session, line, now};
    for (const Command_row& row : command_table) {
        const bool match =
            row.prefix ? line.compare(0, std::strlen(row.text), row.text) == 0 : line == row.text;
        if (match)
            return row.answer(c);
    }
    return status_reply(line, "0C"); // unknown command
}

} // namespace

void set_field(Fields& fields, const std::string& key, const std::string& value)
{
    auto it =
        std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == key; });
    if (value.empty()) {
        if (it != fields.end())
            fields.erase(it);
    } else if (it != fields.end()) {
        it->second = value;
    } else {
        fields.emplace_back(key, value);
    }
}

void Sensor_settings::set_fault(Fault f, bool on)
{
    const unsigned bit = 1u << static_cast<unsigned>(f);
    faults = on ? (faults | bit) : (faults & ~bit);
}

const std::vector<Fault_name>& fault_names()
{
    static const std::vector<Fault_name> names = {
        {Fault::no_answer, "no-answer"},
        {Fault::delay, "delay"},
        {Fault::trickle, "trickle"},
        {Fault::status_checksum, "status-checksum"},
        {Fault::data_checksum, "data-checksum"},
        {Fault::wrong_echo, "wrong-echo"},
        {Fault::long_line, "long-line"},
        {Fault::close_after_status, "close-after-status"},
        {Fault::short_echo_range, "short-echo-range"},
        {Fault::long_echo_range, "long-echo-range"},
        {Fault::huge_range, "huge-range"},
        {Fault::leading_ampersand, "leading-ampersand"},
        {Fault::no_steps, "no-steps"},
        {Fault::refused_status, "refused-status"},
        {Fault::endless_data, "endless-data"},
        {Fault::talk_on, "talk-on"},
        {Fault::repeated_reply, "repeated-reply"},
        {Fault::chatter, "chatter"},
        {Fault::endless_reply, "endless-reply"},
        {Fault::ignore_stop, "ignore-stop"},
        {Fault::hostile_text, "hostile-text"},
        {Fault::hostile_status, "hostile-status"},
    };
    return names;
}

bool fault_from_name(const std::string& name, Fault& fault)
{
    for (const Fault_name& f : fault_names())
        if (name == f.name) {
            fault = f.fault;
            return true;
        }
    return false;
}

const char* fault_name(Fault fault)
{
    return fault_names()[static_cast<size_t>(fault)].name;
}

bool Sensor_state::has_fault(Fault f, const std::string& command) const
{
    return fault_on(f) && command.compare(0, fault_prefix.size(), fault_prefix) == 0;
}

bool Sensor_state::fault_on(Fault f) const
{
    return (faults & (1u << static_cast<unsigned>(f))) != 0;
}

int Sensor_state::scans_per_minute() const
{
    int spm = field_number(parameters, "SCAN", 600);
    return spm > 0 ? spm : 600;
}

long Sensor_state::sensor_msec(Clock::time_point now) const
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - epoch).count());
}

Output answer_command(Sensor_state& state, Session& session, const std::string& line,
                      Clock::time_point now)
{
    if (state.has_fault(Fault::no_answer, line) || (line == "QT" && state.fault_on(Fault::ignore_stop)))
        return {};
    if (state.has_fault(Fault::chatter, line))
        return chatter_output(state, line);
    if (line != "RB")
        session.reboot_armed = false;
    Reply reply = command_reply(state, session, line, now);
    return render(state, reply, line);
}

long long msec_to_next_scan(const Session& session, Clock::time_point now)
{
    if (!session.scanning)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(session.next_scan - now);
    return std::max<long long>(0, left.count());
}

Output send_due_scan(Sensor_state& state, Session& session, Clock::time_point now)
{
    if (!session.scanning || now < session.next_scan)
        return {};
    Scan_request& req = session.scan;
    const int scan = req.sent * (req.skip + 1);
    ++req.sent;
    const int remaining = req.count ? req.count - req.sent : 0;
    auto period = std::chrono::milliseconds(
        state.pacing == Pacing::fast ? 0 : 60000 / state.scans_per_minute());
    Reply reply;
    if (state.replay) {
        // The recorded pace: the time between this scan's time stamp and the next one's.
        Replay_scan recorded;
        long long gap = 0;
        if (!next_recorded_scan(*state.replay, session, req.skip, recorded, gap))
            recorded = Replay_scan{};
        reply = scan_reply(state, req, "99", scan, remaining, now, &recorded);
        period = std::chrono::milliseconds(state.pacing == Pacing::fast ? 0 : gap);
        session.next_scan += period;
    } else {
        reply = scan_reply(state, req, "99", scan, remaining, now);
        session.next_scan += period * (req.skip + 1);
    }
    if (req.count && req.sent >= req.count)
        stop_scanning(state, session);
    if (state.has_fault(Fault::no_answer, req.command))
        return {};
    return render(state, reply, req.command);
}

Output chatter_output(const Sensor_state& state, const std::string& command)
{
    Output out;
    // What a satellite receiver on the wrong port would say.
    out.stream_lines = {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
                        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"};
    out.stream_fault = Fault::chatter;
    out.stream_command = command;
    out.line_interval_ms = state.line_interval_ms;
    return out;
}

const std::string& hostile_text()
{
    static const std::string text("<b>VYR</b><a href=x><img src=\"/dev/zero\">\xb0\xff\x1b[2J\x07\x80");
    return text;
}

const std::string& hostile_status()
{
    static const std::string status("\xb0\x1b");
    return status;
}

void end_session(Sensor_state& state, Session& session)
{
    if (session.scanning)
        state.laser = false;
    session = Session{};
}

} // namespace vyr_sim
