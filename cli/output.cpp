#include "output.h"

#include "exit_code.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex out_mutex;
bool out_failed = false;
int out_errno = 0;

void append_utf8(std::string& out, unsigned char byte)
{
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
}

Json utf8_copy(const Json& value)
{
    if (value.is_string()) {
        return latin1_to_utf8(value.get_ref<const std::string&>());
    }
    if (value.is_object()) {
        Json copy = Json::object();
        for (const auto& item : value.items()) {
            copy[latin1_to_utf8(item.key())] = utf8_copy(item.value());
        }
        return copy;
    }
    if (value.is_array()) {
        Json copy = Json::array();
        for (const Json& element : value) {
            copy.push_back(utf8_copy(element));
        }
        return copy;
    }
    return value;
}

// Under out_mutex.
bool note_failure()
{
    if (!out_failed) {
        out_failed = true;
        out_errno = errno;
    }
    return false;
}

} // namespace

std::string latin1_to_utf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            append_utf8(out, byte);
        }
    }
    return out;
}

std::string visible_text(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0)) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else if (byte < 0x80) {
            out += c;
        } else {
            append_utf8(out, byte);
        }
    }
    return out;
}

std::string json_text(const Json& document, int indent)
{
    // After the conversion every string is valid UTF-8; replace only guards the dump.
    return utf8_copy(document).dump(indent, ' ', false, Json::error_handler_t::replace);
}

bool write_out(std::string_view text)
{
    std::lock_guard<std::mutex> lock(out_mutex);
    if (out_failed) {
        return false;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout)) {
        return note_failure();
    }
    return true;
}

bool flush_out()
{
    std::lock_guard<std::mutex> lock(out_mutex);
    if (out_failed) {
        return false;
    }
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return note_failure();
    }
    return true;
}

bool out_closed()
{
    std::lock_guard<std::mutex> lock(out_mutex);
    return out_failed && out_errno == EPIPE;
}

int finish_output(int exit_code)
{
    if (flush_out() || out_closed()) {
        return exit_code;
    }
    const int number = out_errno;
    print_error_line(std::string("write error: ") +
                     (number != 0 ? std::strerror(number) : "standard output failed"));
    return exit_refused;
}

void print_error_line(std::string_view message)
{
    const std::string line = "vyr: " + visible_text(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
