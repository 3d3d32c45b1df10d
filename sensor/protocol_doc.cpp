// Prints docs/protocol.md from the protocol table; with --check FILE, fails when FILE
// differs from what it would print.

#include "measurement_kinds.h"
#include "protocol_table.h"
#include "reply_framer.h"
#include "vyr_exchange.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

std::string shown_text(const char* text)
{
    std::string shown = "`";
    for (const char* c = text; *c; ++c) {
        shown += *c == '\n' ? std::string("\\n") : std::string(1, *c);
    }
    return shown + "`";
}

std::string two_digits(int status)
{
    return (status < 10 ? "0" : "") + std::to_string(status);
}

std::string statuses(const kvt::Command_row& row)
{
    if (row.status_text != nullptr) {
        return "`" + std::string(row.status_text) + "` exactly";
    }
    std::string text;
    for (const int* s = row.accepted; *s != -1; ++s) {
        text += (text.empty() ? "" : ", ") + two_digits(*s);
    }
    return text;
}

std::string time_out(const kvt::Command_row& row)
{
    switch (row.wait) {
    case kvt::Wait::open:
        return "the open's (" + std::to_string(static_cast<int>(VYR_OPEN_TIMEOUT)) + " ms)";
    case kvt::Wait::sensor:
        return "the sensor's reply time-out";
    case kvt::Wait::fixed:
        break;
    }
    return std::to_string(row.timeout_ms) + " ms";
}

const char* framing(kvt::Framing framing)
{
    switch (framing) {
    case kvt::Framing::engine:
        return "engine";
    case kvt::Framing::maintenance:
        return "maintenance";
    case kvt::Framing::scan:
        return "scan";
    }
    return "";
}

void print(std::ostream& out)
{
    out << "# Sensor protocol\n\n"
           "Printed by `protocol_doc` from `sensor/protocol_table.h`; change the table, not this\n"
           "file, and print it again: `build/default/sensor/protocol_doc > docs/protocol.md`.\n\n"
           "## Framing\n\n"
           "Commands are ASCII lines ending in LF. Every reply has:\n\n"
           "1. the echo: the command as sent, without its LF;\n"
           "2. the status line: two status characters and their checksum character (`00P` is\n"
           "   status 00); a lone character (the older protocol's `E`) passes without one;\n"
           "3. the data lines, each ending in its checksum character;\n"
           "4. an empty line.\n\n"
           "A checksum is the sum of the character codes, its low six bits, plus 0x30 (`0`). A\n"
           "data line of a value, a separator and the checksum may leave the separator out.\n\n"
           "- **engine**: the first line must be the echo. The status line's checksum is checked\n"
           "  and its number must be one of the accepted statuses; a refused status is still read\n"
           "  to the reply's end. Every data line's checksum is checked. Each line may take the\n"
           "  whole time-out; lines are read "
        << kvt::protocol::line_size
        << " bytes at a time, NUL included.\n"
           "- **maintenance**: lines before the echo belong to an earlier reply and are skipped.\n"
           "  The status line must equal the accepted text exactly; data lines are not checked.\n"
           "  One time-out covers the whole reply, and a reply that completes after it fails.\n"
           "  Lines are read "
        << kvt::maintenance_line_size
        << " bytes at a time; a longer one arrives in pieces.\n"
           "- **scan**: read by the measurement reader: a series is acknowledged with status "
        << kvt::protocol::scan_acknowledged << ",\n  then every scan comes with status "
        << kvt::protocol::scan_follows
        << ", a time stamp line and its data lines.\n\n"
           "A reply that has not ended after "
        << kvt::max_reply_lines
        << " lines fails.\n\n"
           "## Commands\n\n"
           "Data lines: the least number the reply must have. Reply size: the bytes the caller\n"
           "keeps of the reply (status and data lines, each with its NUL). A text marked printf\n"
           "is a format the sender fills in; the others go as written.\n\n"
           "| Command | Text or format | Accepted statuses | Data lines | Reply size | Time-out "
           "| Framing | Purpose |\n"
           "|---|---|---|---|---|---|---|---|\n";
    for (const kvt::Command_row& row : kvt::command_table) {
        out << "| " << row.name << " | " << shown_text(row.text) << (row.is_format ? " printf" : "")
            << " | " << statuses(row) << " | "
            << (row.data_lines < 0 ? std::string("variable") : std::to_string(row.data_lines))
            << " | "
            << (row.reply_size > 0 ? std::to_string(row.reply_size) + " bytes" : std::string("-"))
            << " | " << time_out(row) << " | " << framing(row.framing) << " | " << row.purpose
            << " |\n";
    }
    out << "\nThe letters of the scan requests, by measurement kind:\n\n"
           "| Kind | One scan | Series |\n"
           "|---|---|---|\n";
    for (const kvt::Measurement_kind& kind : kvt::measurement_kinds) {
        out << "| " << kind.cli_name << " | `" << kind.single_letter << kind.data_letter << "` | `"
            << kind.continuous_letter << kind.data_letter << "` |\n";
    }
}

} // namespace

int main(int argc, char** argv)
{
    for (const kvt::Command_row& row : kvt::command_table) {
        if (!kvt::row_fits_its_framing(row)) {
            std::cerr << "the row " << row.name << " lacks what its framing reads\n";
            return 1;
        }
    }
    std::ostringstream document;
    print(document);
    if (argc == 1) {
        std::cout << document.str();
        return 0;
    }
    if (argc != 3 || std::string(argv[1]) != "--check") {
        std::cerr << "usage: protocol_doc [--check FILE]\n";
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    if (written != document.str()) {
        std::cerr << argv[2]
                  << " is not what the protocol table prints. Print it again:\n"
                     "  cmake --build build/default --target protocol_doc && "
                     "build/default/sensor/protocol_doc > docs/protocol.md\n";
        return 1;
    }
    return 0;
}
