#ifndef VYR_TESTS_SUPPORT_TRANSPORT_READS_H
#define VYR_TESTS_SUPPORT_TRANSPORT_READS_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Reads through a transport's read function; a failure gives no bytes.
template <class Record>
std::string read_through(int32_t (*read)(Record*, char*, int32_t, int32_t), Record* record,
                         int32_t size, int32_t timeout)
{
    std::string out(static_cast<size_t>(size), '\0');
    const int32_t got = read(record, &out[0], size, timeout);
    EXPECT_GE(got, 0);
    out.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return out;
}

// Reads one line through a transport's line function into a guarded buffer, so that a write
// past the given size fails the test.
template <class Record>
int32_t readline_through(int32_t (*readline)(Record*, char*, int32_t, int32_t), Record* record,
                         std::string& line, int32_t size, int32_t timeout)
{
    std::vector<char> buffer(static_cast<size_t>(size) + 2, '#');
    buffer.back() = '\0';
    const int32_t result = readline(record, buffer.data(), size, timeout);
    EXPECT_EQ(buffer[static_cast<size_t>(size)], '#') << "wrote past the buffer";
    line = buffer.data();
    return result;
}

class Stopwatch
{
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    long elapsed_ms() const
    {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count());
    }

private:
    std::chrono::steady_clock::time_point start_;
};

#endif
