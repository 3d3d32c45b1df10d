#include "serial_device.h"
#include "loopback_socket.h"
#include "pseudo_terminal.h"
#include "transport_reads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

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

// The other side never reads: once its buffer is full the write gives up and tells how
// much went out, instead of holding the caller for good.
TEST_F(SerialDevice, WriteToAPortThatNeverReadsGivesUpAfterItsTimeOut)
{
    const std::string flood(1 << 20, 'x');
    Stopwatch watch;
    const int32_t written = serial_write(&serial, flood.data(), static_cast<int32_t>(flood.size()));
    EXPECT_GE(watch.elapsed_ms(), 1900);
    EXPECT_LT(watch.elapsed_ms(), 3000);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int32_t>(flood.size()));
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

bool can_lock(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return locked;
}

std::string contents_of(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Absent devices, names that do not fit, and things that are no serial port at all (a
// file typed by mistake, a pipe, a device that is no terminal) fail the same way and are
// neither written nor locked nor cut.
TEST(SerialOpen, AnythingButATerminalFailsAndIsLeftAlone)
{
    char folder_template[] = "/tmp/vyr-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder_template), nullptr);
    const std::string folder = folder_template;
    const std::string file = folder + "/settings.txt";
    const std::string fifo = folder + "/pipe";
    std::ofstream(file) << "keep me\n";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const int descriptors_before = open_descriptor_count();
    const std::string overlong(300, 'x');
    for (const char* device : {"/dev/no-such-port", "ttyNOSUCH9", overlong.c_str(), file.c_str(),
                               fifo.c_str(), "/dev/null", "null", folder.c_str()}) {
        SCOPED_TRACE(device);
        vyr_serial serial;
        EXPECT_EQ(serial_open(&serial, device, 115200), -1);
        EXPECT_EQ(serial.handle, VYR_SERIAL_INVALID_HANDLE);
        char buffer[4];
        EXPECT_EQ(serial_read(&serial, buffer, 4, 0), -1);
        EXPECT_EQ(serial_readline(&serial, buffer, 4, 0), -1);
        EXPECT_EQ(serial_write(&serial, "QT\n", 3), -1);
    }
    vyr_serial serial;
    EXPECT_EQ(serial_open(&serial, nullptr, 115200), -1);
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
    EXPECT_EQ(contents_of(file), "keep me\n");
    EXPECT_TRUE(can_lock(file));

    unlink(file.c_str());
    unlink(fifo.c_str());
    rmdir(folder.c_str());
}

} // namespace
