#include "connection.h"
#include "loopback_server.h"
#include "pseudo_terminal.h"
#include "transport_reads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

bool descriptor_is_open(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

std::string line_of(vyr_connection& connection, int32_t& result, int32_t timeout = 300)
{
    char buffer[72];
    result = connection_readline(&connection, buffer, sizeof(buffer), timeout);
    return buffer;
}

TEST(ConnectionDispatch, UnknownTypeFailsEverythingAndLeavesOpenLinksAlone)
{
    LoopbackServer server;
    vyr_connection connection;
    ASSERT_EQ(connection_open(&connection, VYR_ETHERNET, "127.0.0.1", server.port()), 0);
    const int sock = connection.tcpclient.sock;

    EXPECT_EQ(connection_open(&connection, 2, "127.0.0.1", server.port()), -1);
    EXPECT_EQ(connection.type, 2);
    char buffer[8] = {};
    EXPECT_EQ(connection_read(&connection, buffer, 8, 10), -1);
    EXPECT_EQ(connection_readline(&connection, buffer, 8, 10), -1);
    EXPECT_EQ(connection_write(&connection, "QT\n", 3), -1);
    EXPECT_EQ(connection_set_baudrate(&connection, 38400), -1);
    connection_close(&connection);
    EXPECT_TRUE(descriptor_is_open(sock));
    EXPECT_EQ(connection.tcpclient.sock, sock);

    connection.type = VYR_ETHERNET;
    connection_close(&connection);
    EXPECT_FALSE(descriptor_is_open(sock));
}

TEST(ConnectionDispatch, EthernetLinkIgnoresBaudRate)
{
    LoopbackServer server;
    vyr_connection connection;
    ASSERT_EQ(connection_open(&connection, VYR_ETHERNET, "localhost", server.port()), 0);
    ASSERT_TRUE(server.accept_peer());
    EXPECT_EQ(connection_set_baudrate(&connection, 38400), 0);

    EXPECT_EQ(connection_write(&connection, "PP\n", 3), 3);
    EXPECT_EQ(server.receive(3), "PP\n");
    server.send("ABC\nxyz");
    int32_t result = 0;
    EXPECT_EQ(line_of(connection, result), "ABC");
    EXPECT_EQ(result, 3);
    char bytes[3];
    EXPECT_EQ(connection_read(&connection, bytes, 3, 500), 3);
    EXPECT_EQ(std::string(bytes, 3), "xyz");
    connection_close(&connection);
}

TEST(ConnectionDispatch, SerialLinkReachesTheDevice)
{
    PseudoTerminal terminal;
    vyr_connection connection;
    ASSERT_EQ(connection_open(&connection, VYR_SERIAL, terminal.device_path().c_str(), 115200), 0);
    EXPECT_EQ(connection_set_baudrate(&connection, 38400), 0);
    EXPECT_EQ(terminal.speed(), 38400);

    EXPECT_EQ(connection_write(&connection, "QT\n", 3), 3);
    EXPECT_EQ(terminal.receive(3), "QT\n");
    terminal.send("ABC\r\n");
    int32_t result = 0;
    EXPECT_EQ(line_of(connection, result), "ABC");
    EXPECT_EQ(result, 3);
    char bytes[2];
    EXPECT_EQ(connection_read(&connection, bytes, 2, 100), 1);
    EXPECT_EQ(bytes[0], '\n');

    connection_close(&connection);
    EXPECT_EQ(connection_write(&connection, "QT\n", 3), -1);
}

TEST(ConnectionDispatch, FailedOpensGiveNegativeResults)
{
    const int descriptors_before = open_descriptor_count();
    vyr_connection connection;
    EXPECT_EQ(connection_open(&connection, VYR_SERIAL, "/dev/no-such-port", 115200), -1);
    EXPECT_EQ(connection_open(&connection, VYR_ETHERNET, "127.0.0.1", free_loopback_port()), -1);
    EXPECT_EQ(connection_open(&connection, VYR_ETHERNET, "sensor", 10940), -1);
    connection_close(&connection);
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
}

// One open connection of either kind, with the far end played by the test.
class EitherLink : public ::testing::TestWithParam<int32_t>
{
protected:
    void SetUp() override
    {
        if (GetParam() == VYR_ETHERNET) {
            ASSERT_EQ(connection_open(&connection, VYR_ETHERNET, "127.0.0.1", server.port()), 0);
            ASSERT_TRUE(server.accept_peer());
        } else {
            ASSERT_EQ(connection_open(&connection, VYR_SERIAL, terminal.device_path().c_str(),
                                      115200),
                      0);
        }
    }
    void TearDown() override
    {
        if (trickler.joinable()) {
            trickler.join();
        }
        connection_close(&connection);
    }

    void send(const std::string& bytes)
    {
        GetParam() == VYR_ETHERNET ? server.send(bytes) : terminal.send(bytes);
    }
    // One byte every gap_ms, as a slow or disturbed sensor answers.
    void trickle(const std::string& bytes, int gap_ms)
    {
        trickler = std::thread([this, bytes, gap_ms] {
            for (const char byte : bytes) {
                send(std::string(1, byte));
                std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
            }
        });
    }

    LoopbackServer server;
    PseudoTerminal terminal;
    vyr_connection connection;
    std::thread trickler;
};

// Unread input is gone (held-back byte, ring and what the system holds) without a wait,
// and what comes after it is read as usual.
TEST_P(EitherLink, DiscardInputDropsUnreadBytesWithoutWaiting)
{
    send(std::string(100, 'x') + "\nstale\n");
    int32_t result = 0;
    EXPECT_EQ(line_of(connection, result).size(), 71u);
    usleep(50 * 1000); // the rest is in the system's queue by now
    Stopwatch watch;
    EXPECT_EQ(connection_discard_input(&connection), 29 + 1 + 6);
    EXPECT_LT(watch.elapsed_ms(), 50);
    EXPECT_EQ(connection_discard_input(&connection), 0);
    send("fresh\n");
    EXPECT_EQ(line_of(connection, result), "fresh");
    connection_close(&connection);
    EXPECT_EQ(connection_discard_input(&connection), -1);
}

// The time-out is for the whole line, however slowly its bytes come; a line cut by it
// is returned as it is, and what follows is read by the next line read.
TEST_P(EitherLink, TimeOutBoundsTheWholeLineAndLosesNothing)
{
    struct Case
    {
        int gap_ms;
        int32_t timeout;
        bool cut;
    };
    const std::string text = "ABCDEFGH";
    for (const Case c : {Case{120, 400, true}, Case{40, 1000, false}}) {
        SCOPED_TRACE(c.timeout);
        trickle(text + "\n", c.gap_ms);
        Stopwatch watch;
        int32_t result = 0;
        std::string line = line_of(connection, result, c.timeout);
        const long took = watch.elapsed_ms();
        EXPECT_LT(took, c.timeout + 150);
        if (c.cut) {
            EXPECT_GE(took, c.timeout - 10);
            EXPECT_GE(result, 2);
            EXPECT_LT(result, static_cast<int32_t>(text.size()));
            while (result > 0 && line.size() < text.size()) {
                line += line_of(connection, result, 1000);
            }
        }
        EXPECT_EQ(line, text);
        trickler.join();
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, EitherLink, ::testing::Values(VYR_SERIAL, VYR_ETHERNET),
                         [](const ::testing::TestParamInfo<int32_t>& test_info) {
                             return std::string(test_info.param == VYR_SERIAL ? "Serial" : "Tcp");
                         });

// A record that was never opened must not act on descriptor 0.
TEST(ConnectionDispatch, NeverOpenedConnectionTouchesNoDescriptor)
{
    vyr_connection connection{};
    char buffer[8];
    EXPECT_EQ(connection_read(&connection, buffer, 8, 10), -1);
    EXPECT_EQ(connection_readline(&connection, buffer, 8, 10), -1);
    EXPECT_EQ(connection_write(&connection, "QT\n", 3), -1);
    connection_close(&connection);
    EXPECT_TRUE(descriptor_is_open(0));

    connection.type = VYR_ETHERNET;
    EXPECT_EQ(connection_read(&connection, buffer, 8, 10), 0);
    EXPECT_EQ(connection_readline(&connection, buffer, 8, 10), -1);
    EXPECT_EQ(connection_write(&connection, "QT\n", 3), -1);
    connection_close(&connection);
    EXPECT_TRUE(descriptor_is_open(0));
}

} // namespace
