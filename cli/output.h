#ifndef VYR_CLI_OUTPUT_H
#define VYR_CLI_OUTPUT_H

// Everything vyr writes: texts from a sensor (or any other outside source) made safe for
// a terminal and for JSON, and standard output with every write checked.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

using Json = nlohmann::ordered_json;

// Bytes 0x80-0xFF as the Latin-1 characters U+0080..U+00FF in UTF-8; the rest unchanged.
// Always valid UTF-8, and the original bytes come back by encoding the text as Latin-1.
std::string latin1_to_utf8(std::string_view bytes);

// A text as a terminal may show it: control bytes (0x00-0x1F, 0x7F, 0x80-0x9F) written as
// \xHH, the other high bytes as their Latin-1 characters in UTF-8.
std::string visible_text(std::string_view bytes);

// The document as JSON text (indent as for Json::dump); every string, keys included, is
// taken as Latin-1, so no sensor text can make the dump fail.
std::string json_text(const Json& document, int indent = -1);

// Writes to standard output. False once any write has failed, this one or an earlier one;
// the first failure's reason is kept.
bool write_out(std::string_view text);
// Flushes standard output; false as write_out.
bool flush_out();
// True when the reader of standard output has gone away (a closed pipe).
bool out_closed();

// The end of a run: flushes standard output and, when any write failed, says so on
// standard error ("vyr: write error: REASON") and returns exit 1 in place of exit_code.
// A closed pipe is a reader that had enough, not an error.
int finish_output(int exit_code);

// "vyr: " and the message on standard error, made visible; one line.
void print_error_line(std::string_view message);

#endif
