#include "serial_device.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string digits(size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += static_cast<char>('0' + static_cast<char>(i % 10));
    }
    return text;
}

class SerialDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(serial_open(&serial, terminal.device_path().c_str(), 115200), 0);
    }
    void TearDown() override { serial_close(&serial); }

    std::string read(int32_t size, int32_t timeout = 300)
    {
        return read_through(serial_read, &serial, size, timeout);
    }

    int32_t readline(std::string& line, int32_t size = 72, int32_t timeout = 300)
    {
        return readline_through(serial_readline, &serial, line, size, timeout);
    }

    PseudoTerminal terminal;
    vyr_serial serial;
};

TEST_F(SerialDevice, WritesReachTheOtherSideAndRepliesComeBackUnchanged)
{
    EXPECT_EQ(serial_write(&serial, "QT\r\n", 4), 4);
    EXPECT_EQ(terminal.receive(4), "QT\r\n");

    // Raw line: carriage returns and control bytes pass as they are.
    terminal.send(std::string("a\rb\x03\x7f", 5));
    EXPECT_EQ(read(5), std::string("a\rb\x03\x7f", 5));
}

TEST_F(SerialDevice, BaudRateReachesTheLine)
{
    EXPECT_EQ(terminal.speed(), 115200);
    EXPECT_EQ(serial_set_baudrate(&serial, 38400), 0);
    EXPECT_EQ(terminal.speed(), 38400);
    EXPECT_EQ(serial_set_baudrate(&serial, 19200), 0);
    EXPECT_EQ(terminal.speed(), 19200);
    EXPECT_EQ(serial_set_baudrate(&serial, 1234), 0);
    EXPECT_EQ(terminal.speed(), 1234);
}

TEST_F(SerialDevice, ReadWithoutTimeOutReturnsAtOnce)
{
    Stopwatch watch;
    EXPECT_EQ(read(10, 0), "");
    EXPECT_LT(watch.elapsed_ms(), 200);

    terminal.send("abc");
    ASSERT_TRUE(wait_readable(serial.handle, 1000));
    EXPECT_EQ(read(10, 0), "abc");
}

TEST_F(SerialDevice, ReadWithTimeOutWaitsForTheWholeRequest)
{
    Stopwatch watch;
    EXPECT_EQ(read(10, 500), "");
    EXPECT_GE(watch.elapsed_ms(), 480);
    EXPECT_LT(watch.elapsed_ms(), 1000);

    terminal.send("ab");
    Stopwatch partial;
    EXPECT_EQ(read(4, 400), "ab");
    EXPECT_GE(partial.elapsed_ms(), 380);
}

TEST_F(SerialDevice, ReadsMoreThanTheRingHoldsInOrder)
{
    const std::string reply = digits(300);
    terminal.send(reply);
    EXPECT_EQ(read(300, 1000), reply);
}

TEST_F(SerialDevice, LinesEndAtCarriageReturnOrLineFeed)
{
    terminal.send("ABC\r\nAB");
    std::string text;
    EXPECT_EQ(readline(text), 3);
    EXPECT_EQ(text, "ABC");
    EXPECT_EQ(readline(text), 0);
    EXPECT_EQ(text, "");

    // A line without terminator comes back when the time-out runs out on the next byte.
    Stopwatch watch;
    EXPECT_EQ(readline(text, 72, 300), 2);
    EXPECT_EQ(text, "AB");
    EXPECT_GE(watch.elapsed_ms(), 280);

    EXPECT_EQ(readline(text, 72, 100), -1);
    EXPECT_EQ(text, "");
}

TEST_F(SerialDevice, HeldBackByteComesFirstInTheNextRead)
{
    const std::string line = digits(100);
    terminal.send(line + "\n" + line + "\n");
    std::string text;
    EXPECT_EQ(readline(text), 71);
    EXPECT_EQ(text, line.substr(0, 71));
    EXPECT_EQ(read(2), line.substr(71, 2));
    EXPECT_EQ(readline(text), 27);
    EXPECT_EQ(text, line.substr(73));

    EXPECT_EQ(readline(text), 71);
    EXPECT_EQ(readline(text), 29);
    EXPECT_EQ(text, line.substr(71));
}

TEST_F(SerialDevice, EmptyRequestsLeaveTheHeldBackByteAlone)
{
    terminal.send("xyz\n");
    std::string text;
    ASSERT_EQ(readline(text, 3), 2);
    char buffer[2] = {'#', '#'};
    EXPECT_EQ(serial_read(&serial, buffer, 0, 100), 0);
    EXPECT_EQ(serial_readline(&serial, buffer, 0, 100), -1);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(serial_write(&serial, "x", -1), 0);
    EXPECT_EQ(readline(text), 1);
    EXPECT_EQ(text, "z");
}

TEST_F(SerialDevice, DeviceInUseCannotBeOpenedTwice)
{
    vyr_serial second;
    EXPECT_EQ(serial_open(&second, terminal.device_path().c_str(), 115200), -1);
    EXPECT_EQ(second.handle, VYR_SERIAL_INVALID_HANDLE);

    serial_close(&serial);
    ASSERT_EQ(serial_open(&second, terminal.device_path().c_str(), 115200), 0);
    serial_close(&second);
}

TEST_F(SerialDevice, ShortNamesAreLookedUpUnderDev)
{
    serial_close(&serial);
    const std::string short_name = terminal.device_path().substr(5); // after "/dev/"
    ASSERT_EQ(serial_open(&serial, short_name.c_str(), 19200), 0);
    EXPECT_EQ(terminal.speed(), 19200);
    EXPECT_EQ(serial_write(&serial, "ok", 2), 2);
    EXPECT_EQ(terminal.receive(2), "ok");
}

TEST_F(SerialDevice, ClosedDeviceDeliversOnlyTheHeldBackByte)
{
    terminal.send("abc\n");
    std::string text;
    ASSERT_EQ(readline(text, 3), 2);
    serial_close(&serial);
    serial_close(&serial);

    char byte = 0;
    EXPECT_EQ(serial_read(&serial, &byte, 1, 100), 1);
    EXPECT_EQ(byte, 'c');
    EXPECT_EQ(serial_read(&serial, &byte, 1, 100), -1);
    EXPECT_EQ(serial_write(&serial, "x", 1), -1);
    EXPECT_EQ(readline(text), -1);
}

TEST(SerialOpen, MissingOrOverlongDevicesFailAndStayClosed)
{
    const int descriptors_before = open_descriptor_count();
    vyr_serial serial;
    EXPECT_EQ(serial_open(&serial, "/dev/no-such-port", 115200), -1);
    EXPECT_EQ(serial_open(&serial, "ttyNOSUCH9", 115200), -1);
    EXPECT_EQ(serial_open(&serial, nullptr, 115200), -1);
    EXPECT_EQ(serial_open(&serial, std::string(300, 'x').c_str(), 115200), -1);
    EXPECT_EQ(serial.handle, VYR_SERIAL_INVALID_HANDLE);

    char buffer[4];
    EXPECT_EQ(serial_read(&serial, buffer, 4, 0), -1);
    EXPECT_EQ(serial_readline(&serial, buffer, 4, 0), -1);
    EXPECT_EQ(serial_write(&serial, "QT\n", 3), -1);
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
}

} // namespace
