#ifndef KVT_REPLY_FRAMER_H
#define KVT_REPLY_FRAMER_H

// Reads one reply, line by line, against what its command expects. The engine reads through
// its connection, the maintenance link through the driver's raw line read; both framings of
// protocol_table.h are modes of this one reader.

#include "protocol_table.h"

namespace kvt {

class Line_source
{
public:
    virtual ~Line_source() = default;
    // One line into buffer (NUL-ended within size) waiting at most timeout_ms: its length,
    // or a negative value when nothing came.
    virtual int read_line(char* buffer, int size, int timeout_ms) = 0;
};

// What the reader hands on, line by line.
class Reply_sink
{
public:
    virtual ~Reply_sink() = default;
    virtual void skipped(const char* /*line*/, int /*length*/) {} // before the echo
    virtual void echo(const char* /*line*/, int /*length*/) {}
    // The status line, the data lines and the empty line, in order.
    virtual void line(const char* /*line*/, int /*length*/) {}
};

// What one reply is read against.
struct Reply_frame
{
    const char* echo; // the command as sent, without its LF
    int echo_length;
    Framing framing;
    const int* accepted;     // engine: accepted status numbers, ended by -1
    const char* status_text; // maintenance: the status line exactly
    int timeout_ms;          // engine: each line's wait; maintenance: the whole reply's
};

enum class Reply_end {
    complete,        // read to its empty line; see accepted
    no_answer,       // nothing came, or (maintenance) never the echo
    wrong_echo,      // engine: the first line is not the echo
    cut,             // engine: a read failed after the echo
    status_checksum, // engine: the status line's checksum is wrong
    bad_status,      // engine: the status line is not a status
    data_checksum,   // engine: a data line's checksum is wrong
    too_long,        // no empty line within the line bound
    late,            // maintenance: the reply went on past its time-out
};

struct Reply_outcome
{
    Reply_end end = Reply_end::no_answer;
    bool accepted = false;      // complete and its status accepted
    int lines = 0;              // lines before the empty line, echo included
    int last_length = -1;       // length of the last line read, negative when that read failed
    bool first_is_text = false; // the first line read was printable text
    bool echo_seen = false;
};

// Lines of one reply, the skipped ones included, before it counts as endless: the longest
// real reply has a dozen lines.
constexpr int max_reply_lines = 256;
// The maintenance link's line buffer: longer lines arrive in pieces.
constexpr int maintenance_line_size = 100;

// Reads the reply to the command just sent.
Reply_outcome read_reply(Line_source& source, const Reply_frame& frame, Reply_sink& sink);

// Whether the line's last character is its checksum: of all the characters before it, or
// of all but the separator before it ("value;checksum").
bool line_checksum_matches(const char* line, int length);

} // namespace kvt

#endif
