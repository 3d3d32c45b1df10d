// A scan's ndjson line, written and read without a general JSON library: a full
// multi-echo scan with intensities is some 35 kB of numbers, too many for a document
// object per scan at the sensor's rate.

#include "scan_ndjson.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvt {

namespace {

const double two_pi = 6.283185307179586;
const double pi = 3.141592653589793;

// Numbers go straight into room made beforehand: a scan is some four thousand of them,
// too many for an append each.
class Text_writer
{
public:
    Text_writer(std::string& out, size_t most) : out_(out), start_(out.size())
    {
        out_.resize(start_ + most);
        p_ = &out_[start_];
    }
    ~Text_writer() { out_.resize(static_cast<size_t>(p_ - out_.data())); }
    Text_writer(const Text_writer&) = delete;
    Text_writer& operator=(const Text_writer&) = delete;

    template <class Number> void number(Number value)
    {
        p_ = std::to_chars(p_, p_ + 24, value).ptr;
    }
    void put(char c) { *p_++ = c; }
    void text(const char* s, size_t length)
    {
        std::memcpy(p_, s, length);
        p_ += length;
    }
    template <size_t N> void literal(const char (&s)[N]) { text(s, N - 1); }

private:
    std::string& out_;
    size_t start_;
    char* p_;
};

// Angles as the JSON library writes them (its shortest form, "0.0" for zero, null for
// what is no number), so that the line stays byte for byte what vyr wrote before.
class Angle_text
{
public:
    const std::string& of(double degrees)
    {
        if (!valid_ || std::memcmp(&degrees, &value_, sizeof degrees) != 0) {
            value_ = degrees;
            text_ = nlohmann::ordered_json(degrees).dump();
            valid_ = true;
        }
        return text_;
    }

private:
    bool valid_ = false;
    double value_ = 0;
    std::string text_;
};

} // namespace

double recorded_step_deg(int step, int steps_per_rev)
{
    const double radians = two_pi * step / steps_per_rev;
    return radians * 180.0 / pi;
}

void append_scan_ndjson(std::string& out, const Scan_record& scan, const Recording_header& header)
{
    // A writer thread keeps its own; most scans of a recording share both angles.
    thread_local Angle_text first_angle;
    thread_local Angle_text stride_angle;
    const int stride = header.group > 1 ? header.group : 1;
    const size_t slots = static_cast<size_t>(scan.echo_slots());
    const bool with_intensity = has_intensity(scan.type);
    const int first_step = scan.step.empty() ? 0 : scan.step.front();
    const std::string& first_text = first_angle.of(recorded_step_deg(first_step, header.steps_per_rev));
    const std::string& stride_text = stride_angle.of(recorded_step_deg(stride, header.steps_per_rev));
    const size_t values = scan.distance.size() - scan.distance.size() % slots;
    // At most 21 characters a number with its separator and brackets, twice with intensities.
    Text_writer text(out, 256 + first_text.size() + stride_text.size() + values * 2 * 24);
    text.literal("{\"scan\":");
    text.number(scan.number);
    text.literal(",\"timestamp_ms\":");
    text.number(scan.time_stamp);
    text.literal(",\"first_step\":");
    text.number(first_step);
    text.literal(",\"step_stride\":");
    text.number(stride);
    text.literal(",\"first_angle_deg\":");
    text.text(first_text.data(), first_text.size());
    text.literal(",\"angle_stride_deg\":");
    text.text(stride_text.data(), stride_text.size());
    // One list per key; the echoes after the first only where the sensor saw one.
    auto append_values = [&](auto&& value_at) {
        text.put('[');
        for (size_t slot = 0; slot < values; slot += slots) {
            if (slot > 0) {
                text.put(',');
            }
            if (slots == 1) {
                text.number(value_at(slot));
                continue;
            }
            text.put('[');
            text.number(value_at(slot));
            for (size_t echo = 1; echo < slots && scan.distance[slot + echo] != 0; ++echo) {
                text.put(',');
                text.number(value_at(slot + echo));
            }
            text.put(']');
        }
        text.put(']');
    };
    text.literal(",\"distance\":");
    append_values([&](size_t i) { return scan.distance[i]; });
    if (with_intensity) {
        text.literal(",\"intensity\":");
        append_values([&](size_t i) {
            return i < scan.intensity.size() ? scan.intensity[i] : static_cast<unsigned short>(0);
        });
    }
    text.literal("}\n");
}

namespace {

// A cursor over one line. Every failure leaves its reason and stops the reading.
class Line_parser
{
public:
    Line_parser(const char* begin, const char* end) : p_(begin), end_(end) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    bool fail(const std::string& why)
    {
        if (error_.empty()) {
            error_ = why;
        }
        return false;
    }

    void skip_space()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) {
            ++p_;
        }
    }
    bool at(char c)
    {
        skip_space();
        return p_ < end_ && *p_ == c;
    }
    bool expect(char c, const char* where)
    {
        if (!at(c)) {
            return fail(p_ >= end_ ? std::string("the line ends early, ") + where
                                   : std::string("expected '") + c + "' " + where);
        }
        ++p_;
        return true;
    }
    bool at_end()
    {
        skip_space();
        return p_ >= end_;
    }

    // A string without escapes is taken as it is; one with escapes only skipped.
    bool string(std::string_view& text)
    {
        if (!expect('"', "before a name")) {
            return false;
        }
        const char* start = p_;
        bool escaped = false;
        for (; p_ < end_ && *p_ != '"'; ++p_) {
            if (*p_ == '\\') {
                escaped = true;
                ++p_;
            }
        }
        if (p_ >= end_) {
            return fail("a text without its closing quote");
        }
        text = escaped ? std::string_view() : std::string_view(start, p_ - start);
        ++p_;
        return true;
    }

    bool integer(long long& value, long long min, long long max, const char* name)
    {
        skip_space();
        const char* start = p_;
        const std::from_chars_result result = std::from_chars(p_, end_, value);
        if (result.ec == std::errc::result_out_of_range) {
            return fail(std::string(name) + " is out of range");
        }
        if (result.ec != std::errc() || result.ptr == start) {
            return fail(std::string(name) + " is not a number");
        }
        p_ = result.ptr;
        if (p_ < end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')) {
            return fail(std::string(name) + " is not a whole number");
        }
        if (value < min || value > max) {
            return fail(std::string(name) + " " + std::to_string(value) + " is out of range");
        }
        return true;
    }

    bool real(double& value, const char* name)
    {
        skip_space();
        if (end_ - p_ >= 4 && std::memcmp(p_, "null", 4) == 0) {
            p_ += 4;
            value = std::numeric_limits<double>::quiet_NaN();
            return true;
        }
        const std::from_chars_result result = std::from_chars(p_, end_, value);
        if (result.ec != std::errc()) {
            return fail(std::string(name) + " is not a number");
        }
        p_ = result.ptr;
        return true;
    }

    // Any value, for keys this program does not know.
    bool skip_value(int depth = 0)
    {
        if (depth > 64) {
            return fail("values nested too deep");
        }
        skip_space();
        if (p_ >= end_) {
            return fail("the line ends early, before a value");
        }
        std::string_view ignored;
        switch (*p_) {
        case '"':
            return string(ignored);
        case '[':
        case '{': {
            const char close = *p_ == '[' ? ']' : '}';
            const bool object = close == '}';
            ++p_;
            if (at(close)) {
                ++p_;
                return true;
            }
            do {
                if (object && !(string(ignored) && expect(':', "after a name"))) {
                    return false;
                }
                if (!skip_value(depth + 1)) {
                    return false;
                }
            } while (at(',') && ++p_);
            return expect(close, "after a value");
        }
        default: {
            const char* start = p_;
            while (p_ < end_ && std::strchr(",]} \t\r\n", *p_) == nullptr) {
                ++p_;
            }
            const std::string_view word(start, p_ - start);
            double number = 0;
            if (word == "true" || word == "false" || word == "null" ||
                std::from_chars(start, p_, number).ptr == p_) {
                return true;
            }
            return fail("a value that is not JSON");
        }
        }
    }

    // A list of numbers per step, or one number per step.
    bool values(Parsed_values& into, long long max, const char* name)
    {
        into.values.clear();
        into.echoes.clear();
        if (!expect('[', (std::string("to open ") + name).c_str())) {
            return false;
        }
        if (at(']')) {
            ++p_;
            return true;
        }
        do {
            if (into.echoes.size() >= max_steps) {
                return fail(std::string(name) + " has more than " + std::to_string(max_steps) +
                            " steps");
            }
            long long value = 0;
            if (at('[')) {
                ++p_;
                int echoes = 0;
                do {
                    if (++echoes > max_echoes) {
                        return fail(std::string(name) + " has more than " +
                                    std::to_string(max_echoes) + " echoes for one step");
                    }
                    if (!integer(value, 0, max, name)) {
                        return false;
                    }
                    into.values.push_back(value);
                } while (at(',') && ++p_);
                if (!expect(']', (std::string("to close a step of ") + name).c_str())) {
                    return false;
                }
                into.echoes.push_back(static_cast<unsigned char>(echoes));
            } else {
                if (!integer(value, 0, max, name)) {
                    return false;
                }
                into.values.push_back(value);
                into.echoes.push_back(0);
            }
        } while (at(',') && ++p_);
        return expect(']', (std::string("to close ") + name).c_str());
    }

    const char* position() const { return p_; }

private:
    const char* p_;
    const char* end_;
    std::string error_;
};

const long long max_long32 = 2147483647;

} // namespace

bool parse_scan_ndjson(const char* begin, const char* end, Parsed_scan& scan, std::string& error)
{
    Line_parser in(begin, end);
    scan.has_number = scan.has_time_stamp = scan.has_first_step = scan.has_stride = false;
    scan.has_distance = scan.has_intensity = false;
    scan.first_angle_deg = scan.angle_stride_deg = std::numeric_limits<double>::quiet_NaN();
    if (in.expect('{', "at the start")) {
        if (in.at('}')) {
            in.expect('}', "");
        } else {
            do {
                std::string_view key;
                if (!in.string(key) || !in.expect(':', "after a name")) {
                    break;
                }
                long long value = 0;
                if (key == "scan") {
                    scan.has_number = in.integer(value, 0, max_long32, "\"scan\"");
                    scan.number = static_cast<long>(value);
                } else if (key == "timestamp_ms") {
                    scan.has_time_stamp = in.integer(value, -max_long32 - 1, max_long32,
                                                     "\"timestamp_ms\"");
                    scan.time_stamp = static_cast<long>(value);
                } else if (key == "first_step") {
                    scan.has_first_step =
                        in.integer(value, -max_step_value, max_step_value, "\"first_step\"");
                    scan.first_step = static_cast<int>(value);
                } else if (key == "step_stride") {
                    scan.has_stride = in.integer(value, 1, 99, "\"step_stride\"");
                    scan.stride = static_cast<int>(value);
                } else if (key == "first_angle_deg") {
                    in.real(scan.first_angle_deg, "\"first_angle_deg\"");
                } else if (key == "angle_stride_deg") {
                    in.real(scan.angle_stride_deg, "\"angle_stride_deg\"");
                } else if (key == "distance") {
                    scan.has_distance = in.values(scan.distance, max_long32, "\"distance\"");
                } else if (key == "intensity") {
                    scan.has_intensity = in.values(scan.intensity, 65535, "\"intensity\"");
                } else {
                    in.skip_value();
                }
            } while (!in.failed() && in.at(',') && in.expect(',', ""));
            in.expect('}', "after the last value");
        }
    }
    if (!in.failed() && !in.at_end()) {
        in.fail("more follows the scan's object");
    }
    if (!in.failed()) {
        const char* missing = !scan.has_number       ? "\"scan\""
                              : !scan.has_time_stamp ? "\"timestamp_ms\""
                              : !scan.has_first_step ? "\"first_step\""
                              : !scan.has_stride     ? "\"step_stride\""
                              : !scan.has_distance   ? "\"distance\""
                                                     : nullptr;
        if (missing) {
            in.fail(std::string(missing) + " is missing");
        }
    }
    if (in.failed()) {
        error = in.error();
        return false;
    }
    return true;
}

bool scan_time_stamp(const char* begin, const char* end, long& number, long& time_stamp)
{
    // What this program writes starts so; anything else is read in full.
    static const char head[] = "{\"scan\":";
    static const char middle[] = ",\"timestamp_ms\":";
    const size_t head_length = sizeof head - 1;
    const size_t middle_length = sizeof middle - 1;
    if (static_cast<size_t>(end - begin) < head_length ||
        std::memcmp(begin, head, head_length) != 0) {
        return false;
    }
    const char* p = begin + head_length;
    long long value = 0;
    std::from_chars_result result = std::from_chars(p, end, value);
    if (result.ec != std::errc() || value < 0 || value > max_long32) {
        return false;
    }
    number = static_cast<long>(value);
    p = result.ptr;
    if (static_cast<size_t>(end - p) < middle_length ||
        std::memcmp(p, middle, middle_length) != 0) {
        return false;
    }
    p += middle_length;
    result = std::from_chars(p, end, value);
    if (result.ec != std::errc() || value < -max_long32 - 1 || value > max_long32 ||
        result.ptr >= end || *result.ptr != ',') {
        return false;
    }
    time_stamp = static_cast<long>(value);
    return true;
}

bool scan_from_parsed(const Parsed_scan& parsed, const Recording_header& header,
                      Scan_record& scan, std::string& error)
{
    const Measurement_kind* kind = measurement_kind(header.type);
    if (!kind) {
        error = "the recording's kind is unknown";
        return false;
    }
    const int slots = kind->echo_slots;
    const size_t steps = parsed.distance.echoes.size();
    if (parsed.stride != std::max(header.group, 1)) {
        error = "\"step_stride\" " + std::to_string(parsed.stride) + " is not the recording's " +
                std::to_string(std::max(header.group, 1));
        return false;
    }
    if (kind->intensity != parsed.has_intensity) {
        error = kind->intensity ? "\"intensity\" is missing" : "\"intensity\" in a kind without";
        return false;
    }
    if (kind->intensity && (parsed.intensity.echoes != parsed.distance.echoes)) {
        error = "\"intensity\" is not shaped as \"distance\"";
        return false;
    }
    for (unsigned char echoes : parsed.distance.echoes) {
        if ((slots > 1) != (echoes > 0)) {
            error = slots > 1 ? "a step without its list of echoes"
                              : "a list of echoes in a kind with one";
            return false;
        }
    }
    // The steps must lie within the recorded range, as they did on the sensor.
    const long long last = static_cast<long long>(parsed.first_step) +
                           static_cast<long long>(steps > 0 ? steps - 1 : 0) * parsed.stride;
    if (steps == 0 || parsed.first_step < header.first_step || last > header.last_step) {
        error = steps == 0 ? "a scan without steps"
                           : "steps " + std::to_string(parsed.first_step) + " to " +
                                 std::to_string(last) + " lie outside the recorded " +
                                 std::to_string(header.first_step) + " to " +
                                 std::to_string(header.last_step);
        return false;
    }
    scan.number = parsed.number;
    scan.time_stamp = parsed.time_stamp;
    scan.type = header.type;
    scan.distance.assign(steps * slots, 0);
    if (kind->intensity) {
        scan.intensity.assign(steps * slots, 0);
    } else {
        scan.intensity.clear();
    }
    size_t value = 0;
    for (size_t k = 0; k < steps; ++k) {
        const int echoes = std::max<int>(parsed.distance.echoes[k], 1);
        for (int e = 0; e < echoes; ++e, ++value) {
            scan.distance[k * slots + e] = static_cast<long>(parsed.distance.values[value]);
            if (kind->intensity) {
                scan.intensity[k * slots + e] =
                    static_cast<unsigned short>(parsed.intensity.values[value]);
            }
        }
    }
    scan.step.resize(steps);
    scan.angle_deg.resize(steps);
    for (size_t i = 0; i < steps; ++i) {
        scan.step[i] = parsed.first_step + static_cast<int>(i) * parsed.stride;
        scan.angle_deg[i] = recorded_step_deg(scan.step[i], header.steps_per_rev);
    }
    return true;
}

} // namespace kvt
