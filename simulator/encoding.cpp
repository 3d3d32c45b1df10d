#include "encoding.h"

namespace vyr_sim {

char checksum(const std::string& text)
{
    unsigned sum = 0;
    for (unsigned char c : text)
        sum += c;
    return static_cast<char>((sum & 0x3f) + '0');
}

std::string with_checksum(const std::string& text)
{
    return text + checksum(text);
}

std::string encode_value(long value, int width)
{
    std::string out(static_cast<size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<char>('0' + (value & 0x3f));
        value >>= 6;
    }
    return out;
}

std::string status_line(const std::string& status)
{
    return with_checksum(status) + "\n";
}

std::string data_lines(const std::string& stream)
{
    const size_t width = 64;
    std::string out;
    for (size_t pos = 0; pos < stream.size(); pos += width)
        out += with_checksum(stream.substr(pos, width)) + "\n";
    return out;
}

} // namespace vyr_sim
