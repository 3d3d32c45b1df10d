#ifndef VYR_TRANSPORT_LINE_READER_H
#define VYR_TRANSPORT_LINE_READER_H

// The line loop both transports share, and the drop of unread input; internal to
// transport/ (C++ only).

#include "c_interface.h"
#include "ring_buffer.h"
#include "ticks.h"

#include <stdint.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// One time-out for a whole line: a reply that trickles in byte by byte must not hold the
// caller for the time-out once per byte. The caller's own end (a monotonic_ms() time, 0 for
// none) may come sooner. A time-out of 0 or below has no end the line could reach and,
// without an end of the caller's, is handed to every wait as it is.
class Line_deadline
{
public:
    explicit Line_deadline(int32_t timeout, int64_t caller_end = 0)
        : timeout_(timeout), caller_end_(caller_end)
    {
    }

    // The wait for the next byte: what is left, 0 once it has passed. The clock starts at
    // the first wait, so bytes already buffered never read it.
    int32_t left_ms()
    {
        if (!has_end()) {
            return timeout_;
        }
        const int64_t now = monotonic_ms();
        if (!started_) {
            end_ = timeout_ > 0 ? now + timeout_ : INT64_MAX;
            if (caller_end_ > 0 && caller_end_ < end_) {
                end_ = caller_end_;
            }
            started_ = true;
        }
        const int64_t left = end_ - now;
        return left <= 0 ? 0 : left > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left);
    }

    bool has_end() const { return timeout_ > 0 || caller_end_ > 0; }

    // The wait ended because the time was up (read only after a wait failed).
    bool passed() { return has_end() && started_ && left_ms() == 0; }

private:
    int32_t timeout_;
    int64_t caller_end_;
    bool started_ = false;
    int64_t end_ = 0;
};

// Copies run up to its first CR or LF, at most room bytes, to out. Returns the bytes of
// run used, the terminator included; ended tells whether one came. Bytes of out past
// the copied ones, within room, may be overwritten.
inline int32_t copy_to_terminator(const char* run, int32_t length, char* out, int32_t room,
                                  int32_t& copied, bool& ended)
{
    const int32_t limit = length < room ? length : room;
    int32_t end = 0;
    int hits = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step, and a last step that overlaps the clean ones before it, so
    // that a line costs a handful of steps and no byte-by-byte tail.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const auto step = [&](int32_t at) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), block);
        hits =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lf), _mm_cmpeq_epi8(block, cr)));
        end = hits != 0 ? at + __builtin_ctz(static_cast<unsigned>(hits)) : at + 16;
    };
    while (hits == 0 && end + 16 <= limit) {
        step(end);
    }
    if (hits == 0 && end < limit && limit >= 16) {
        step(limit - 16);
    }
#endif
    for (; hits == 0 && end < limit; ++end) {
        if (run[end] == '\n' || run[end] == '\r') {
            hits = 1;
            break;
        }
        out[end] = run[end];
    }
    copied = end;
    ended = hits != 0;
    return ended ? end + 1 : end;
}

// Reads up to CR or LF into buffer (terminator dropped, NUL-terminated). Source gives:
//   int32_t take_held(char* first)  - a byte held back for this line: 1 placed, or 0
//   int32_t buffered(const char*& run) - bytes at hand in one piece, read in place
//   void consume(int32_t count)     - drops count of those
//   bool next(char& byte, Line_deadline&) - one byte within the deadline
//   void hold_back(char byte)       - keep the byte a full buffer could not take
// Returns the length, 0 for an empty line, -1 when nothing came. With whole_lines, a line
// whose time ran out before its end is no line either: -1.
template <class Source>
int32_t read_line(Source& source, char* buffer, int32_t size, int32_t timeout,
                  int64_t caller_end = 0, bool whole_lines = false)
{
    if (size <= 0) {
        return -1;
    }
    Line_deadline deadline(timeout, caller_end);
    int32_t count = source.take_held(buffer);
    bool delivered = false;
    bool ended = false;
    while (count < size && !ended) {
        // What is at hand goes in one copy; only a dry source is asked byte by byte.
        const char* run = nullptr;
        const int32_t ready = source.buffered(run);
        if (ready > 0) {
            int32_t copied = 0;
            source.consume(
                copy_to_terminator(run, ready, buffer + count, size - count, copied, ended));
            count += copied;
            delivered = true;
            continue;
        }
        char byte = 0;
        delivered = source.next(byte, deadline);
        if (!delivered && whole_lines && deadline.passed()) {
            buffer[0] = '\0';
            return -1;
        }
        if (!delivered || byte == '\n' || byte == '\r') {
            break;
        }
        buffer[count++] = byte;
    }
    if (count == size) {
        source.hold_back(buffer[count - 1]);
        count = size - 1;
    }
    buffer[count] = '\0';
    if (count > 0) {
        return count;
    }
    return delivered ? 0 : -1;
}

// Drops what a link holds unread: held bytes (already let go by the caller), the ring,
// then what read_now(chunk, size) hands over without waiting, at most VYR_DISCARD_LIMIT.
template <class Read_now> int32_t discard_unread(int32_t held, ring_buffer* ring, Read_now read_now)
{
    char chunk[256];
    int32_t dropped = held + ring_read(ring, chunk, sizeof chunk);
    while (dropped < VYR_DISCARD_LIMIT) {
        const int32_t got = read_now(chunk, static_cast<int32_t>(sizeof chunk));
        dropped += got;
        if (got < static_cast<int32_t>(sizeof chunk)) {
            break;
        }
    }
    return dropped;
}

#endif
