#include "scan_recording.h"

#include "scan_ndjson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

namespace kvt {

namespace {

using Json = nlohmann::ordered_json;

const char format_name[] = "vyr-recording";
const int format_version = 1;
// Room for every scan a writer may hold back; beyond it write() waits for the disk.
const size_t queue_limit = 32;
const size_t file_buffer_size = 1 << 20;
// Ten thousand steps of three echoes with intensities take some 1.3 MB; a longer line is
// not read into memory.
const std::int64_t max_line_length = 8 << 20;

// Sensor texts are bytes; each byte travels as the character of the same number, so the
// file stays valid UTF-8 and the bytes come back unchanged.
std::string latin1_to_utf8(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

// Characters beyond U+00FF never came from a sensor; they are kept as they are.
std::string utf8_to_latin1(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((lead & 0x03) << 6) |
                                     (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string utc_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string system_text(int number)
{
    return std::strerror(number);
}

// A driver's text, or empty when asking for it failed (the driver then gives its error).
std::string sensor_text(Lidar& lidar, const char* (Lidar::*text)())
{
    std::string value = (lidar.*text)();
    return lidar.last_error() == Error::none ? value : std::string();
}

bool seek(std::FILE* file, std::int64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The header's number under key; false with the reason when it is missing (and required),
// no whole number or outside min..max.
template <class Number>
bool header_number(const Json& object, const char* key, Number& value, long long min,
                   long long max, bool required, std::string& error)
{
    const auto found = object.find(key);
    if (found == object.end()) {
        if (required) {
            error = std::string("\"") + key + "\" is missing";
        }
        return !required;
    }
    if (!found->is_number_integer() ||
        (found->is_number_unsigned() && found->get<unsigned long long>() > 9223372036854775807ull)) {
        error = std::string("\"") + key + "\" is not a whole number";
        return false;
    }
    const long long number = found->get<long long>();
    if (number < min || number > max) {
        error = std::string("\"") + key + "\" " + std::to_string(number) + " is out of range";
        return false;
    }
    value = static_cast<Number>(number);
    return true;
}

bool header_text(const Json& object, const char* key, std::string& value, std::string& error)
{
    const auto found = object.find(key);
    if (found == object.end()) {
        return true;
    }
    if (!found->is_string()) {
        error = std::string("\"") + key + "\" is not a text";
        return false;
    }
    value = utf8_to_latin1(found->get<std::string>());
    return true;
}

bool header_from_json(const Json& object, Recording_header& header, std::string& error)
{
    const long long big = 2147483647;
    int version = 0;
    if (!header_number(object, "version", version, 1, big, true, error)) {
        return false;
    }
    if (version > format_version) {
        error = "format version " + std::to_string(version) + " is newer than this program (" +
                std::to_string(format_version) + ")";
        return false;
    }
    const auto type = object.find("type");
    const Measurement_kind* kind = nullptr;
    for (const Measurement_kind& candidate : measurement_kinds) {
        if (type != object.end() && type->is_string() && *type == candidate.cli_name) {
            kind = &candidate;
        }
    }
    if (!kind) {
        error = "\"type\" is none of distance, intensity, multiecho, multiecho-intensity";
        return false;
    }
    header.type = kind->type;
    const long long steps = max_step_value;
    const bool ok =
        header_number(object, "first_step", header.first_step, -steps, steps, true, error) &&
        header_number(object, "last_step", header.last_step, -steps, steps, true, error) &&
        header_number(object, "group", header.group, 1, 99, true, error) &&
        header_number(object, "steps_per_rev", header.steps_per_rev, 1, 1000000, true, error) &&
        header_number(object, "front_step", header.front_step, 0, steps, false, error) &&
        header_number(object, "min_step", header.min_step, -steps, steps, false, error) &&
        header_number(object, "max_step", header.max_step, -steps, steps, false, error) &&
        header_number(object, "min_distance", header.min_distance, 0, big, false, error) &&
        header_number(object, "max_distance", header.max_distance, 0, big, false, error) &&
        header_number(object, "scan_period_usec", header.scan_period_usec, 0, big, false,
                      error) &&
        header_text(object, "product", header.product, error) &&
        header_text(object, "firmware_version", header.firmware_version, error) &&
        header_text(object, "serial_number", header.serial_number, error) &&
        header_text(object, "started_utc", header.started_utc, error);
    if (ok && header.first_step > header.last_step) {
        error = "\"first_step\" lies after \"last_step\"";
        return false;
    }
    return ok;
}

// What a plain vyr scan output says of its measurement, from its first scan. The
// sensor's own limits are unknown; its front is taken as its step 0.
bool header_from_scan(const Parsed_scan& scan, Recording_header& header, std::string& error)
{
    const bool multi = !scan.distance.echoes.empty() && scan.distance.echoes.front() > 0;
    for (const Measurement_kind& kind : measurement_kinds) {
        if (kind.intensity == scan.has_intensity && (kind.echo_slots > 1) == multi) {
            header.type = kind.type;
        }
    }
    const int steps = static_cast<int>(scan.distance.echoes.size());
    header.first_step = scan.first_step;
    header.group = scan.stride;
    header.last_step = scan.first_step + std::max(steps - 1, 0) * scan.stride;
    header.min_step = header.first_step;
    header.max_step = header.last_step;
    header.front_step = header.first_step < 0 ? -header.first_step : 0;
    // The angle of one stride gives the steps of a turn; it must give back both angles.
    const double turn = 360.0 * scan.stride / scan.angle_stride_deg;
    if (!(turn >= 1 && turn <= 1000000)) {
        error = "no header line, and \"angle_stride_deg\" gives no steps per revolution";
        return false;
    }
    header.steps_per_rev = static_cast<int>(std::lround(turn));
    if (recorded_step_deg(scan.stride, header.steps_per_rev) != scan.angle_stride_deg ||
        recorded_step_deg(scan.first_step, header.steps_per_rev) != scan.first_angle_deg) {
        error = "no header line, and the angles fit no whole number of steps per revolution";
        return false;
    }
    return true;
}

} // namespace

Recording_header recording_header_for(Lidar& lidar, Lidar::measurement_type type,
                                      int first_step, int last_step, int group)
{
    Recording_header header = measurement_header(lidar, type, first_step, last_step, group);
    header.product = sensor_text(lidar, &Lidar::product);
    header.firmware_version = sensor_text(lidar, &Lidar::firmware_version);
    header.serial_number = sensor_text(lidar, &Lidar::serial_number);
    header.started_utc = utc_now();
    return header;
}

Recording_header measurement_header(const Lidar& lidar, Lidar::measurement_type type,
                                    int first_step, int last_step, int group)
{
    Recording_header header;
    header.type = type;
    header.first_step = first_step;
    header.last_step = last_step;
    header.group = std::max(group, 1);
    header.min_step = lidar.min_step();
    header.max_step = lidar.max_step();
    // The driver names neither directly: straight ahead is the absolute step angle 0
    // falls on, and one step is a turn's share.
    header.front_step = lidar.rad_to_index(0.0);
    const double step_radians = lidar.step_to_rad(1);
    header.steps_per_rev =
        step_radians > 0 ? static_cast<int>(std::lround(6.283185307179586 / step_radians)) : 0;
    header.min_distance = lidar.min_distance();
    header.max_distance = lidar.max_distance();
    header.scan_period_usec = lidar.scan_period_usec();
    return header;
}

std::string recording_header_line(const Recording_header& header)
{
    const Measurement_kind* kind = measurement_kind(header.type);
    Json object = {{"format", format_name},
                   {"version", format_version},
                   {"type", kind ? kind->cli_name : "distance"},
                   {"first_step", header.first_step},
                   {"last_step", header.last_step},
                   {"group", std::max(header.group, 1)},
                   {"product", latin1_to_utf8(header.product)},
                   {"firmware_version", latin1_to_utf8(header.firmware_version)},
                   {"serial_number", latin1_to_utf8(header.serial_number)},
                   {"min_step", header.min_step},
                   {"max_step", header.max_step},
                   {"front_step", header.front_step},
                   {"steps_per_rev", header.steps_per_rev},
                   {"min_distance", header.min_distance},
                   {"max_distance", header.max_distance},
                   {"scan_period_usec", header.scan_period_usec},
                   {"started_utc", latin1_to_utf8(header.started_utc)}};
    return object.dump() + "\n";
}

// Writer

Recording_writer::Recording_writer() = default;

Recording_writer::~Recording_writer()
{
    close();
}

bool Recording_writer::open(const std::string& path, const Recording_header& header)
{
    close();
    std::lock_guard<std::mutex> lock(mutex_);
    error_.clear();
    failed_ = false;
    closing_ = false;
    scans_written_ = 0;
    bytes_written_ = 0;
    header_ = header;
    if (header_.steps_per_rev <= 0 || !measurement_kind(header_.type)) {
        error_ = path + ": the sensor's steps per revolution or the kind is unknown";
        return false;
    }
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error_ = path + ": " + system_text(errno);
        return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, file_buffer_size);
    const std::string line = recording_header_line(header_);
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
        error_ = path + ": " + system_text(errno);
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    bytes_written_ = static_cast<long long>(line.size());
    thread_ = std::thread(&Recording_writer::run, this);
    return true;
}

bool Recording_writer::write(const Scan_record& scan)
{
    Scan_record copy;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        drained_.wait(lock, [this] { return failed_ || queue_.size() < queue_limit; });
        if (!file_ || failed_ || closing_) {
            return false;
        }
        if (!spare_.empty()) {
            copy = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    // Into storage a written scan left, outside the lock; only what the line needs.
    copy.number = scan.number;
    copy.time_stamp = scan.time_stamp;
    copy.type = scan.type;
    copy.distance = scan.distance;
    copy.intensity = scan.intensity;
    copy.step.assign(scan.step.begin(), scan.step.begin() + (scan.step.empty() ? 0 : 1));
    bool was_empty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_ || failed_ || closing_) {
            return false;
        }
        was_empty = queue_.empty();
        queue_.push_back(std::move(copy));
    }
    // The writer waits only on an empty queue.
    if (was_empty) {
        queued_.notify_one();
    }
    return true;
}

void Recording_writer::run()
{
    // Out to the file at least this often, so that a crash costs at most the last moments,
    // yet a fast stream is not one system call a scan.
    const auto flush_interval = std::chrono::milliseconds(100);
    const auto wake = [this] { return closing_ || !queue_.empty(); };
    std::string text;
    Scan_record scan;
    bool unflushed = false;
    auto last_flush = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (unflushed) {
            queued_.wait_until(lock, last_flush + flush_interval, wake);
        } else {
            queued_.wait(lock, wake);
        }
        if (queue_.empty() && closing_) {
            break; // close() flushes
        }
        const bool have_scan = !queue_.empty();
        bool room = false;
        if (have_scan) {
            std::swap(scan, queue_.front());
            if (spare_.size() < queue_limit) {
                spare_.push_back(std::move(queue_.front()));
            }
            queue_.pop_front();
            // A full queue wakes its writer once half of it is written, not at every scan.
            room = queue_.size() == queue_limit / 2;
        }
        const bool failed = failed_;
        lock.unlock();
        if (room) {
            drained_.notify_all();
        }
        bool ok = true;
        if (!failed && have_scan) {
            text.clear();
            append_scan_ndjson(text, scan, header_);
            ok = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
            unflushed = true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!failed && ok && unflushed && now - last_flush >= flush_interval) {
            ok = std::fflush(file_) == 0;
            unflushed = false;
            last_flush = now;
        }
        const int why = errno;
        lock.lock();
        if (failed || !ok) {
            unflushed = false;
            if (!failed) {
                fail(system_text(why));
            }
        } else if (have_scan) {
            ++scans_written_;
            bytes_written_ += static_cast<long long>(text.size());
        }
    }
}

void Recording_writer::fail(const std::string& why)
{
    if (!failed_) {
        failed_ = true;
        error_ = path_ + ": " + why;
    }
    drained_.notify_all();
}

bool Recording_writer::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_) {
            return !failed_;
        }
        closing_ = true;
    }
    queued_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const bool flushed = std::fflush(file_) == 0;
    const int why = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        fail(system_text(flushed ? errno : why));
    }
    return !failed_;
}

bool Recording_writer::is_open() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return file_ != nullptr && !closing_;
}

long Recording_writer::scans_written() const
{
    return scans_written_;
}

long long Recording_writer::bytes_written() const
{
    return bytes_written_;
}

std::string Recording_writer::error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

// Reader

Recording_reader::Recording_reader() = default;

Recording_reader::~Recording_reader()
{
    if (file_) {
        std::fclose(file_);
    }
}

bool Recording_reader::fail(const std::string& why)
{
    error_ = why;
    return false;
}

bool Recording_reader::open(const std::string& path)
{
    if (file_) {
        std::fclose(file_);
    }
    header_ = Recording_header();
    inferred_ = false;
    offsets_.clear();
    time_stamps_.clear();
    lines_.clear();
    error_.clear();
    path_ = path;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        return fail(path + ": " + system_text(errno));
    }
    // One pass in large blocks: line ends by memchr, each scan's number and time stamp
    // from the head of its line. Lines this program did not write are read in full later.
    std::vector<char> block(1 << 20);
    std::string first;       // the whole first line
    std::string head;        // the first bytes of the current line
    const size_t head_limit = 64;
    const size_t first_limit = 16 << 20;
    std::vector<long> slow;  // indexes whose time stamp needs the whole line
    std::int64_t block_start = 0;
    std::int64_t line_start = 0;
    long line_number = 1;
    bool first_done = false;
    auto take_line = [&](std::int64_t end) {
        if (!first_done) {
            first_done = true;
            return;
        }
        if (end == line_start) { // an empty line separates nothing
            return;
        }
        long number = 0;
        long stamp = 0;
        if (!scan_time_stamp(head.data(), head.data() + head.size(), number, stamp)) {
            slow.push_back(static_cast<long>(offsets_.size()));
        }
        offsets_.push_back(line_start);
        time_stamps_.push_back(stamp);
        lines_.push_back(line_number);
    };
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), file_);
        if (got == 0) {
            if (std::ferror(file_)) {
                return fail(path + ": " + system_text(errno));
            }
            break;
        }
        size_t i = 0;
        while (i < got) {
            const char* newline =
                static_cast<const char*>(std::memchr(block.data() + i, '\n', got - i));
            const size_t end = newline ? static_cast<size_t>(newline - block.data()) : got;
            if (!first_done) {
                if (first.size() + (end - i) > first_limit) {
                    return fail(path + ": line 1 is longer than " +
                                std::to_string(first_limit >> 20) + " MB");
                }
                first.append(block.data() + i, end - i);
            } else if (head.size() < head_limit) {
                head.append(block.data() + i, std::min(end - i, head_limit - head.size()));
            }
            if (!newline) {
                break;
            }
            take_line(block_start + static_cast<std::int64_t>(end));
            head.clear();
            line_start = block_start + static_cast<std::int64_t>(end) + 1;
            ++line_number;
            i = end + 1;
        }
        block_start += static_cast<std::int64_t>(got);
    }
    std::int64_t file_end = block_start;
    // A last line without its end is kept only when complete: a recording cut off while
    // it was written still opens with every whole scan.
    bool cut_off = false;
    if (line_start < file_end) {
        if (!first_done) {
            first_done = true; // a file of one line, the header, without its end
        } else {
            take_line(file_end);
            cut_off = true;
        }
    }
    offsets_.push_back(file_end + 1);

    // The first line: a header, or a scan of plain vyr output.
    const Json object = Json::parse(first, nullptr, false);
    if (object.is_object() && object.contains("format")) {
        std::string why;
        if (object["format"] != format_name) {
            return fail(path + ": line 1: not a recording (\"format\" is not \"" + format_name +
                        "\")");
        }
        if (!header_from_json(object, header_, why)) {
            return fail(path + ": line 1: " + why);
        }
    } else {
        Parsed_scan scan;
        std::string why;
        if (first.empty() || !parse_scan_ndjson(first.data(), first.data() + first.size(), scan,
                                                why)) {
            return fail(path + ": line 1 is neither a recording header nor a scan" +
                        (why.empty() ? std::string() : " (" + why + ")"));
        }
        if (!header_from_scan(scan, header_, why)) {
            return fail(path + ": " + why);
        }
        inferred_ = true;
        offsets_.insert(offsets_.begin(), 0);
        time_stamps_.insert(time_stamps_.begin(), scan.time_stamp);
        lines_.insert(lines_.begin(), 1);
        for (long& index : slow) {
            ++index;
        }
    }
    if (cut_off) {
        const long last = scan_count() - 1;
        Scan_record scan;
        const std::string saved = error_;
        if (!read(last, scan)) {
            offsets_.pop_back(); // the cut line's start now ends the one before
            time_stamps_.pop_back();
            lines_.pop_back();
            slow.erase(std::remove(slow.begin(), slow.end(), last), slow.end());
        }
        error_ = saved;
    }
    for (const long index : slow) {
        Parsed_scan scan;
        std::string why;
        if (!read_line(index, line_)) {
            return false;
        }
        if (!parse_scan_ndjson(line_.data(), line_.data() + line_.size(), scan, why)) {
            return fail(path + ": line " + std::to_string(lines_[index]) + ": " + why);
        }
        time_stamps_[index] = scan.time_stamp;
    }
    return true;
}

const Recording_header& Recording_reader::header() const
{
    return header_;
}

long Recording_reader::scan_count() const
{
    return offsets_.empty() ? 0 : static_cast<long>(offsets_.size()) - 1;
}

long Recording_reader::time_stamp(long index) const
{
    return index >= 0 && index < scan_count() ? time_stamps_[static_cast<size_t>(index)] : 0;
}

bool Recording_reader::read_line(long index, std::string& line)
{
    if (!file_ || index < 0 || index >= scan_count()) {
        return fail("no scan " + std::to_string(index) + " (the recording holds " +
                    std::to_string(scan_count()) + ")");
    }
    const std::int64_t start = offsets_[static_cast<size_t>(index)];
    const std::int64_t end = offsets_[static_cast<size_t>(index) + 1] - 1;
    if (end - start > max_line_length) {
        return fail(path_ + ": line " + std::to_string(lines_[static_cast<size_t>(index)]) +
                    " is longer than any scan (" + std::to_string(end - start) + " bytes)");
    }
    line.resize(static_cast<size_t>(end - start));
    std::clearerr(file_);
    if (!seek(file_, start) ||
        std::fread(&line[0], 1, line.size(), file_) != line.size()) {
        return fail(path_ + ": line " + std::to_string(lines_[static_cast<size_t>(index)]) +
                    ": " + (std::ferror(file_) ? system_text(errno) : "the file got shorter"));
    }
    return true;
}

bool Recording_reader::read(long index, Scan_record& scan)
{
    if (!read_line(index, line_)) {
        return false;
    }
    Parsed_scan parsed;
    std::string why;
    if (!parse_scan_ndjson(line_.data(), line_.data() + line_.size(), parsed, why) ||
        !scan_from_parsed(parsed, header_, scan, why)) {
        return fail(path_ + ": line " + std::to_string(lines_[static_cast<size_t>(index)]) +
                    ": " + why);
    }
    return true;
}

std::string Recording_reader::error() const
{
    return error_;
}

} // namespace kvt
