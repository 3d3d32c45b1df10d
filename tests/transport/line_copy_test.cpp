// The in-place copy of a line out of the ring, at every length around its 16-byte steps.

#include "line_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A run of length characters with a terminator at at (none for -1), the other
// terminator right behind it, copied into room bytes.
void expect_copy(int32_t length, int32_t at, char terminator, int32_t room)
{
    std::string run(static_cast<size_t>(length), ' ');
    for (int32_t i = 0; i < length; ++i) {
        run[static_cast<size_t>(i)] = static_cast<char>('0' + i % 64);
    }
    if (at >= 0) {
        run[static_cast<size_t>(at)] = terminator;
    }
    if (at >= 0 && at + 1 < length) {
        run[static_cast<size_t>(at + 1)] = terminator == '\n' ? '\r' : '\n';
    }
    const int32_t limit = room < length ? room : length;
    const bool ends = at >= 0 && at < limit;
    char out[64];
    std::memset(out, '#', sizeof out);
    int32_t copied = -1;
    bool ended = false;
    const int32_t used = copy_to_terminator(run.data(), length, out, room, copied, ended);

    SCOPED_TRACE(testing::Message() << "length " << length << ", at " << at << ", room " << room);
    ASSERT_EQ(copied, ends ? at : limit);
    EXPECT_EQ(ended, ends);
    EXPECT_EQ(used, ends ? at + 1 : limit);
    EXPECT_EQ(std::string(out, static_cast<size_t>(copied)),
              run.substr(0, static_cast<size_t>(copied)));
    EXPECT_EQ(out[room], '#') << "written past the room";
}

TEST(LineCopy, StopsAtTheFirstTerminatorWithinTheRoomAtEveryLength)
{
    for (int32_t length = 0; length <= 50; ++length) {
        for (int32_t at = -1; at < length; ++at) {
            for (const int32_t room : {length, length / 2, 17}) {
                expect_copy(length, at, '\n', room);
                expect_copy(length, at, '\r', room);
            }
        }
    }
}

} // namespace
