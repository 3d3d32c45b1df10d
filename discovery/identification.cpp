#include "identification.h"

#include "setting_commands.h"
#include "vyr_exchange.h"

#include <vector>

namespace vyr_find {

namespace {

// The largest reply a search waits through: a scan of many steps, echoes and intensities.
constexpr size_t max_reply_size = 65536;

bool is_printable(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            return false;
        }
    }
    return true;
}

// As the engine takes it: the checksum covers the line up to its last character, or up to
// the separator before it.
bool checksum_matches(const std::string& line)
{
    const int length = static_cast<int>(line.size());
    if (length < 2) {
        return false;
    }
    const char last = line.back();
    return last == vyr_checksum(line.data(), length - 1) ||
           last == vyr_checksum(line.data(), length - 2);
}

// The echo of a measurement request: G, M, H or N, then D, E or S, then digits.
bool is_scan_echo(const std::string& line)
{
    if (line.size() < 2 || std::string("GMHN").find(line[0]) == std::string::npos ||
        std::string("DES").find(line[1]) == std::string::npos) {
        return false;
    }
    for (size_t i = 2; i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return false;
        }
    }
    return true;
}

// The value of a "KEY:VALUE;C" line, ending at the first of the terminators found.
std::string value_of(const std::string& line, const char* terminators)
{
    const std::string value = line.substr(5, line.size() - 5 - 2); // less ";C"
    for (const char* t = terminators; *t; ++t) {
        const size_t end = value.find(*t);
        if (end != std::string::npos) {
            return value.substr(0, end);
        }
    }
    return value;
}

} // namespace

bool parse_version_reply(const std::string& reply, Identity& identity)
{
    const std::vector<std::string> lines = setting_commands::split_lines(reply);
    // Echo, status "00" with its checksum, then "KEY:VALUE;C" lines.
    if (lines.size() < 3 || lines[0] != "VV" || lines[1].size() != 3 ||
        lines[1].compare(0, 2, "00") != 0 || lines[1][2] != vyr_checksum("00", 2)) {
        return false;
    }
    Identity found;
    bool product = false, firmware = false, serial = false;
    for (size_t i = 2; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.size() < 7 || line[4] != ':' || line[line.size() - 2] != ';' ||
            !is_printable(line) || !checksum_matches(line)) {
            return false;
        }
        const std::string key = line.substr(0, 4);
        if (key == "PROD") {
            found.product = value_of(line, ";");
            product = true;
        } else if (key == "FIRM") {
            found.firmware_version = value_of(line, " (");
            firmware = true;
        } else if (key == "SERI") {
            found.serial_number = value_of(line, ";");
            serial = true;
        }
    }
    if (!product || !firmware || !serial) {
        return false;
    }
    identity = found;
    return true;
}

void Reply_reader::feed(const char* data, size_t size)
{
    if (foreign_) {
        return;
    }
    pending_.append(data, size);
    for (size_t end; !foreign_ && (end = pending_.find("\n\n")) != std::string::npos;) {
        const std::string reply = pending_.substr(0, end);
        pending_.erase(0, end + 2);
        take_reply(reply);
    }
    if (!pending_.empty()) {
        other_bytes_ = true;
    }
    if (pending_.size() > max_reply_size) {
        foreign_ = true;
    }
}

void Reply_reader::take_reply(const std::string& reply)
{
    const bool first = first_reply_;
    first_reply_ = false;
    const std::string echo = reply.substr(0, reply.find('\n'));
    if (echo == "VV" && !identified_) {
        identified_ = parse_version_reply(reply, identity_);
        foreign_ = !identified_;
        return;
    }
    other_bytes_ = true;
    if (is_scan_echo(echo)) {
        measuring_ = true;
    } else if (!(first && mid_reply_)) {
        foreign_ = true;
    }
}

} // namespace vyr_find
