// The device decides when its bytes come as well as what they say, and the
// numbers it reports at open: no operation may outlive its bound, and no number
// may make the host take memory.
//
// Input: operation selector, control byte, one byte per "PP" key, the pacing of
// the replies, then the bytes of the reply to the operation.
#include "engine_operations.h"
#include "fed_sensor.h"
#include "vyr_measurement.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum { SCAN_OPERATIONS = 4 * SCAN_MODES, OPERATIONS = INFO_OPERATIONS + SCAN_OPERATIONS };

struct Parameter
{
    const char* key;
    long usual;
};

const Parameter parameters[] = {{"DMIN", 20},  {"DMAX", 5600}, {"ARES", 1024}, {"AMIN", 44},
                                {"AMAX", 725}, {"AFRT", 384},  {"SCAN", 600}};
const size_t parameter_count = sizeof parameters / sizeof parameters[0];

// Values a device may send where a sane one belongs.
const char* const odd_values[] = {"0",          "-1",         "1",           "60",
                                  "2147483647", "2147483646", "100000000",   "-2147483648",
                                  "4294967296", "",           "99999999999999999999",
                                  "x",          "65535",      "65536",       "10000",
                                  "1440"};
const size_t odd_value_count = sizeof odd_values / sizeof odd_values[0];

const size_t pacing_size = 8;
const size_t header_size = 2 + parameter_count + pacing_size;

// Pauses per input: the operation's reply may stretch past any bound, the open's
// reply only so far that the open can still succeed.
const int reply_pause_ms = 1200;
const int open_pause_ms = 400;

// What the driver promises, and room for a loaded machine (a finding repeats first).
const int open_bound_ms = 3000;
const int stop_bound_ms = 1500;
const int exchange_slack_ms = 500;
const int load_margin_ms = 300;
const long peak_growth_cap_kb = 64 * 1024;
const int max_derived_timeout_ms = 2000;
const int max_steps = 10000; // the requests carry steps in four digits

// A key's byte: below 0x40 the usual value, up to 0x7f the usual one moved by
// -32..31, above that one of the odd values.
std::string parameter_value(const Parameter& parameter, unsigned char mode)
{
    if (mode < 0x40) {
        return std::to_string(parameter.usual);
    }
    if (mode < 0x80) {
        return std::to_string(parameter.usual + (mode - 0x60));
    }
    return odd_values[(mode - 0x80) % odd_value_count];
}

char checksum(const std::string& text)
{
    unsigned sum = 0;
    for (unsigned char c : text) {
        sum += c;
    }
    return static_cast<char>((sum & 0x3f) + '0');
}

// The sensor's reply to "PP" with these values, framed as a sensor frames it, so
// that the numbers reach the checks instead of failing on a checksum.
std::string parameter_reply(const uint8_t* modes)
{
    std::string reply = "PP\n00P\nMODL:VYR-SIM01;N\n";
    for (size_t i = 0; i < parameter_count; ++i) {
        const std::string body =
            std::string(parameters[i].key) + ":" + parameter_value(parameters[i], modes[i]);
        reply += body + ";" + checksum(body) + "\n";
    }
    return reply + "\n";
}

struct Input
{
    int operation;
    int timeout_ms; // 0: the one the open derived from "SCAN"

    bool paced_open;
    std::string pp_reply;
    std::string pacing;
    std::string reply;
};

Input parse(const uint8_t* data, size_t size)
{
    uint8_t header[header_size] = {};
    std::memcpy(header, data, size < header_size ? size : header_size);
    Input input;
    input.operation = header[0] % OPERATIONS;
    input.timeout_ms = (header[1] & 0xf0) == 0xf0 ? 0 : 20 + (header[1] & 7) * 10;
    input.paced_open = (header[1] & 8) != 0;
    input.pp_reply = parameter_reply(header + 2);
    const std::string pacing(reinterpret_cast<const char*>(header) + 2 + parameter_count,
                             pacing_size);
    if (pacing.find_first_not_of('\0') != std::string::npos) {
        input.pacing = pacing;
    }
    if (size > header_size) {
        input.reply.assign(reinterpret_cast<const char*>(data) + header_size, size - header_size);
    }
    return input;
}

std::vector<Feed_part> paced(std::vector<Feed_part> parts, const std::string& pacing,
                             int max_pause_ms)
{
    for (auto& part : parts) {
        part.pacing = pacing;
        part.max_pause_ms = max_pause_ms / static_cast<int>(parts.size());
    }
    return parts;
}

// The recorded open with the input's "PP" reply in place of the sensor's.
std::vector<Feed_part> open_parts(const Input& input)
{
    std::vector<Feed_part> parts = replies_per_line(open_reply());
    for (auto& part : parts) {
        if (part.bytes.compare(0, 3, "PP\n") == 0) {
            part.bytes = input.pp_reply;
        }
    }
    return input.paced_open ? paced(parts, input.pacing, open_pause_ms) : parts;
}

long peak_resident_kb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Stopwatch
{
public:
    long long msec() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The first overrun of one run of the input, or nullptr.
const char* overrun = nullptr;
char overrun_text[160];

void check(const Stopwatch& clock, long long bound_ms, const char* what)
{
    const long long took = clock.msec();
    if (!overrun && took > bound_ms + load_margin_ms) {
        std::snprintf(overrun_text, sizeof overrun_text, "%s: %lld ms, bound %lld ms", what, took,
                      bound_ms);
        overrun = overrun_text;
    }
}

void run_operation(vyr_sensor& sensor, const Input& input)
{
    if (input.timeout_ms > 0) {
        vyr_set_timeout(&sensor, input.timeout_ms);
    } else if (sensor.timeout_msec > max_derived_timeout_ms) {
        fuzz_fail("the reply time-out taken from \"SCAN\" is not clamped");
    }
    const long long exchange_bound = sensor.timeout_msec + exchange_slack_ms;
    if (input.operation < INFO_OPERATIONS) {
        // The time-adjust query is three exchanges.
        const int exchanges = input.operation == INFO_OPERATIONS - 1 ? 3 : 1;
        Stopwatch clock;
        run_info_query(sensor, input.operation);
        check(clock, exchanges * exchange_bound, "an information query outlived its bound");
        return;
    }
    const int scan = input.operation - INFO_OPERATIONS;
    // A start, two reads and a stop: each an exchange, the last read of a counted series
    // with the stop inside.
    Stopwatch clock;
    run_scans(sensor, VYR_DISTANCE + scan / SCAN_MODES, scan % SCAN_MODES);
    check(clock, 4 * exchange_bound, "a measurement outlived its bound");
    Stopwatch stop_clock;
    vyr_stop_scans(&sensor);
    check(stop_clock, stop_bound_ms, "stopping outlived its bound");
}

void run_once(const Input& input)
{
    std::vector<Feed_part> parts = open_parts(input);
    std::vector<Feed_part> reply =
        input.operation < INFO_OPERATIONS
            ? replies_per_line(input.reply)
            : scan_replies((input.operation - INFO_OPERATIONS) % SCAN_MODES, input.reply);
    reply = paced(reply, input.pacing, reply_pause_ms);
    parts.insert(parts.end(), reply.begin(), reply.end());
    begin_input(parts);

    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    Stopwatch clock;
    const int opened = vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", feed().port());
    check(clock, open_bound_ms, "the open outlived its bound");
    if (opened == 0) {
        // Scan buffers are sized by the step count: the open must have refused any other.
        if (sensor.area_max < 0 || sensor.area_max >= max_steps) {
            fuzz_fail("the open took a step count no sensor has");
        }
        run_operation(sensor, input);
    }
    vyr_close(&sensor);
    end_input();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return -1;
    }
    const Input input = parse(data, size);
    const long peak_before = peak_resident_kb();
    overrun = nullptr;
    run_once(input);
    if (overrun) {
        // A loaded machine can stretch one run; the same input again must not.
        std::fprintf(stderr, "first run: %s\n", overrun);
        overrun = nullptr;
        run_once(input);
        if (overrun) {
            fuzz_fail(overrun);
        }
    }
    if (peak_resident_kb() - peak_before > peak_growth_cap_kb) {
        fuzz_fail("memory grew past the cap");
    }
    return 0;
}
