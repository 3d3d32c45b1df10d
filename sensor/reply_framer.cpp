#include "reply_framer.h"

#include "vyr_exchange.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace kvt {

namespace {

static_assert(protocol::line_size == VYR_LINE_SIZE, "one line size for the engine");

bool is_expected(const int* accepted, long value)
{
    for (const int* s = accepted; *s != -1; ++s) {
        if (*s == value) {
            return true;
        }
    }
    return false;
}

bool is_text(const char* line, int length)
{
    for (int i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// The engine's judgement of the status line: Reply_end::complete with accepted set, or the
// failure. A lone character passes without a status.
Reply_end judge_status(const char* line, int length, const int* accepted_list, bool& accepted)
{
    if (length == 1) {
        accepted = true;
        return Reply_end::complete;
    }
    if (length > 0 && !line_checksum_matches(line, length)) {
        return Reply_end::status_checksum;
    }
    if (length != 3) {
        return Reply_end::bad_status;
    }
    // Two bytes that are no number are a refusal; strtol would make them status 0.
    accepted = std::isdigit(static_cast<unsigned char>(line[0])) &&
               is_expected(accepted_list, std::strtol(line, nullptr, 10));
    return Reply_end::complete;
}

class Reply_clock
{
public:
    long long elapsed_ms() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace

bool line_checksum_matches(const char* line, int length)
{
    const char last = line[length - 1];
    if (last == vyr_checksum(line, length - 1)) {
        return true;
    }
    return last == vyr_checksum(line, length > 2 ? length - 2 : 0);
}

Reply_outcome read_reply(Line_source& source, const Reply_frame& frame, Reply_sink& sink)
{
    const bool loose = frame.framing == Framing::maintenance;
    const int size = loose ? maintenance_line_size : protocol::line_size;
    const Reply_clock clock;
    const auto late = [&] { return loose && clock.elapsed_ms() > frame.timeout_ms; };
    Reply_outcome out;
    bool status_read = false;
    bool status_accepted = false;
    int skipped = 0;
    char line[maintenance_line_size];

    for (int index = 0; index < max_reply_lines; ++index) {
        int wait = frame.timeout_ms;
        if (loose) {
            const long long left = frame.timeout_ms - clock.elapsed_ms();
            if (left <= 0) {
                out.end = out.echo_seen ? Reply_end::late : Reply_end::no_answer;
                return out;
            }
            wait = static_cast<int>(left);
        }
        line[0] = '\0';
        const int result = source.read_line(line, size, wait);
        // The maintenance link looks at the text alone, bounded should a source forget the
        // NUL; a read that delivered nothing is an empty line to it.
        const int length = loose ? static_cast<int>(strnlen(line, size)) : result;
        out.last_length = result < 0 && length <= 0 ? -1 : length;

        if (!out.echo_seen) {
            if (index == 0 && length >= 0) {
                out.first_is_text = is_text(line, length);
            }
            if (loose ? result < 0 && length == 0 : length < 0) {
                out.end = Reply_end::no_answer;
                return out;
            }
            const bool is_echo = length >= frame.echo_length &&
                                 std::memcmp(line, frame.echo, frame.echo_length) == 0;
            if (!is_echo) {
                if (!loose) {
                    out.end = Reply_end::wrong_echo;
                    return out;
                }
                sink.skipped(line, length);
                ++skipped;
                continue;
            }
            out.echo_seen = true;
            sink.echo(line, length);
            if (!(loose && length == 0)) {
                if (late()) {
                    out.end = Reply_end::late;
                    return out;
                }
                continue;
            }
            // An empty echo is its own end, with an empty status.
        } else {
            if (length < 0) {
                out.end = Reply_end::cut;
                return out;
            }
            sink.line(line, length);
        }

        if (!status_read) {
            status_read = true;
            if (loose) {
                status_accepted = static_cast<size_t>(length) == std::strlen(frame.status_text) &&
                                  std::memcmp(line, frame.status_text, length) == 0;
            } else {
                const Reply_end judged =
                    judge_status(line, length, frame.accepted, status_accepted);
                if (judged != Reply_end::complete) {
                    out.end = judged;
                    return out;
                }
                continue;
            }
        }
        if (late()) {
            out.end = Reply_end::late;
            return out;
        }
        if (length == 0) {
            out.end = Reply_end::complete;
            out.lines = index - skipped;
            out.accepted = status_accepted;
            return out;
        }
        if (!loose && !line_checksum_matches(line, length)) {
            out.end = Reply_end::data_checksum;
            return out;
        }
    }
    out.end = out.echo_seen ? Reply_end::too_long : Reply_end::no_answer;
    return out;
}

} // namespace kvt
