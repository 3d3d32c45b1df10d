#include "ring_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RingBuffer : public ::testing::Test
{
protected:
    void SetUp() override { ring_initialize(&ring, storage, 7); }

    // Moves both indices to at without leaving bytes behind.
    void empty_at(int32_t at)
    {
        ring.first = at;
        ring.last = at;
    }

    std::string read(int32_t count)
    {
        std::string out(static_cast<size_t>(count), '\0');
        out.resize(static_cast<size_t>(ring_read(&ring, &out[0], count)));
        return out;
    }

    int32_t write(const std::string& bytes)
    {
        return ring_write(&ring, bytes.data(), static_cast<int32_t>(bytes.size()));
    }

    char storage[128] = {};
    ring_buffer ring;
};

std::string numbered(size_t count, char from = 'a')
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        bytes += static_cast<char>(from + static_cast<char>(i % 26));
    }
    return bytes;
}

TEST_F(RingBuffer, HoldsOneByteLessThanItsStorage)
{
    EXPECT_EQ(ring_size(&ring), 0);
    EXPECT_EQ(ring_capacity(&ring), 127);

    const std::string bytes = numbered(200);
    EXPECT_EQ(write(bytes), 127);
    EXPECT_EQ(ring_size(&ring), 127);
    EXPECT_EQ(write("x"), 0);

    EXPECT_EQ(read(200), bytes.substr(0, 127));
    EXPECT_EQ(ring_size(&ring), 0);
}

TEST_F(RingBuffer, WritesAndReadsAcrossTheEndOfTheStorage)
{
    empty_at(120);
    EXPECT_EQ(write("0123456789"), 10);
    EXPECT_EQ(ring.last, 2);
    EXPECT_EQ(std::string(storage + 120, 8), "01234567");
    EXPECT_EQ(std::string(storage, 2), "89");
    EXPECT_EQ(ring_size(&ring), 10);

    EXPECT_EQ(read(10), "0123456789");
    EXPECT_EQ(ring.first, 2);
    EXPECT_EQ(ring.last, 2);
}

TEST_F(RingBuffer, AWrappedRingTakesOnlyItsFreeSpaceAndKeepsWhatItHolds)
{
    empty_at(100);
    const std::string held = numbered(40);
    ASSERT_EQ(write(held), 40);
    ASSERT_GT(ring.first, ring.last);

    const int32_t free_space = ring_capacity(&ring) - ring_size(&ring);
    EXPECT_EQ(write(numbered(100, 'A')), free_space);
    EXPECT_EQ(ring_size(&ring), 127);

    EXPECT_EQ(read(40), held);
    EXPECT_EQ(read(200), numbered(static_cast<size_t>(free_space), 'A'));
}

TEST_F(RingBuffer, PartialReadsKeepTheOrderThroughManyWraps)
{
    std::string expected;
    std::string got;
    for (int round = 0; round < 50; ++round) {
        const std::string chunk = numbered(static_cast<size_t>(37 + round % 11), 'a' + round % 7);
        ASSERT_EQ(write(chunk), static_cast<int32_t>(chunk.size()));
        expected += chunk;
        got += read(40 + round % 13);
    }
    got += read(127);
    EXPECT_EQ(got, expected);
}

TEST_F(RingBuffer, ReadsInPlaceOnePieceAtATimeAcrossTheEnd)
{
    empty_at(120);
    ASSERT_EQ(write("0123456789"), 10);
    std::string got;
    for (const char* expected : {"01234567", "89"}) {
        const char* run = nullptr;
        const int32_t length = ring_peek(&ring, &run);
        EXPECT_EQ(std::string(run, static_cast<size_t>(length)), expected);
        ring_drop(&ring, length > 3 ? 3 : length); // part of a piece leaves the rest at hand
        got += std::string(run, static_cast<size_t>(length > 3 ? 3 : length));
        got += read(length > 3 ? length - 3 : 0);
    }
    const char* run = nullptr;
    EXPECT_EQ(ring_peek(&ring, &run), 0);
    EXPECT_EQ(got, "0123456789");
    EXPECT_EQ(write("ab"), 2);
    EXPECT_EQ(read(2), "ab");
}

TEST_F(RingBuffer, WritesInPlaceIntoRoomThatKeepsOneSlotFree)
{
    struct Case
    {
        int32_t first;
        int32_t last;
        int32_t room; // an empty ring starts over at 0
    };
    for (const Case c :
         {Case{120, 120, 127}, Case{0, 10, 117}, Case{5, 10, 118}, Case{100, 20, 79}}) {
        ring.first = c.first;
        ring.last = c.last;
        const int32_t held = ring_size(&ring);
        char* space = nullptr;
        EXPECT_EQ(ring_space(&ring, &space), c.room) << c.first << " " << c.last;
        space[0] = 'x';
        ring_commit(&ring, 1);
        EXPECT_EQ(ring_size(&ring), held + 1);
        EXPECT_EQ(read(held + 1).back(), 'x');
    }
    char* space = nullptr;
    ASSERT_EQ(ring_space(&ring, &space), 127);
    ring_commit(&ring, 127);
    EXPECT_EQ(ring_size(&ring), ring_capacity(&ring));
    EXPECT_EQ(write("y"), 0);
}

TEST_F(RingBuffer, ReadingAnEmptyRingLeavesTheDestinationAlone)
{
    char destination[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(ring_read(&ring, destination, 4), 0);
    EXPECT_EQ(std::string(destination, 4), "wxyz");
}

} // namespace
