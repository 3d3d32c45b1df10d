#ifndef VYR_DISCOVERY_IDENTIFICATION_H
#define VYR_DISCOVERY_IDENTIFICATION_H

// The one question a search asks: "VV", which only reads. Its reply is taken apart
// strictly, so that a device that merely echoes or chatters is never taken for a sensor.

#include <cstddef>
#include <string>

namespace vyr_find {

constexpr char identify_request[] = "VV\n";

struct Identity
{
    std::string product;
    std::string firmware_version;
    std::string serial_number;
};

// Reads what a device sends after the question, reply by reply (each ends with an empty
// line).
class Reply_reader
{
public:
    // mid_reply: the link may begin inside a reply sent before (a serial line of a sensor
    // that is measuring), so a first reply of unknown shape is passed over.
    explicit Reply_reader(bool mid_reply = false) : mid_reply_(mid_reply) {}

    void feed(const char* data, size_t size);

    // A whole, well-formed "VV" reply came; identity holds its values.
    bool identified() const { return identified_; }
    // A scan of a running measurement came ("MD", "GE", ... with its data).
    bool measuring() const { return measuring_; }
    // Something else came: no sensor, or not in this protocol. Nothing later changes that.
    bool foreign() const { return foreign_; }
    // Bytes came that belong to no "VV" reply (scans, a part of one, or more to come).
    bool other_bytes() const { return other_bytes_; }
    const Identity& identity() const { return identity_; }

private:
    void take_reply(const std::string& reply);

    bool mid_reply_;
    bool first_reply_ = true;
    bool identified_ = false;
    bool measuring_ = false;
    bool foreign_ = false;
    bool other_bytes_ = false;
    std::string pending_;
    Identity identity_;
};

// A "VV" reply without its closing empty line (lines joined by LF): the values, or false
// when it is not well formed.
bool parse_version_reply(const std::string& reply, Identity& identity);

} // namespace vyr_find

#endif
