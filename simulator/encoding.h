#ifndef VYR_SIM_ENCODING_H
#define VYR_SIM_ENCODING_H

// The sensor's side of the wire format, kept apart from the host's engine on
// purpose: a mistake shared by both could not show up in a test.

#include <string>

namespace vyr_sim {

// Low 6 bits of the character sum, plus '0'.
char checksum(const std::string& text);

// text + its checksum character.
std::string with_checksum(const std::string& text);

// 6 bits per character ('0' + bits), most significant first, width characters.
std::string encode_value(long value, int width);

// status "00" gives the line "00P".
std::string status_line(const std::string& status);

// Splits a character stream into lines of at most 64 characters, each with its checksum.
std::string data_lines(const std::string& stream);

} // namespace vyr_sim

#endif
