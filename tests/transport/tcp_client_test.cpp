#include "tcp_client.h"
#include "ipv4_text.h"
#include "ticks.h"
#include "loopback_server.h"
#include "transport_reads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

std::string letters(size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += static_cast<char>('A' + static_cast<char>(i % 26));
    }
    return text;
}

class TcpClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(tcpclient_open(&client, "127.0.0.1", server.port()), 0);
        ASSERT_TRUE(server.accept_peer());
    }
    void TearDown() override { tcpclient_close(&client); }

    // The bytes have reached the client's socket, so a 1 ms poll will find them.
    void wait_arrived() { ASSERT_TRUE(wait_readable(client.sock, 1000)); }

    std::string read(int32_t size, int32_t timeout = 500)
    {
        return read_through(tcpclient_read, &client, size, timeout);
    }

    int32_t readline(std::string& line, int32_t size = 72, int32_t timeout = 500)
    {
        return readline_through(tcpclient_readline, &client, line, size, timeout);
    }

    LoopbackServer server;
    vyr_tcpclient client;
};

TEST_F(TcpClient, ServesReadsFromTheRingWithoutTouchingTheSocket)
{
    server.send("0123456789");
    wait_arrived();
    EXPECT_EQ(read(4), "0123");
    EXPECT_EQ(ring_size(&client.ring), 6);

    server.send("XYZ");
    wait_arrived();
    EXPECT_EQ(read(3), "456");
    EXPECT_EQ(read(3), "789");
    // Had either read received, the new bytes would sit in the ring now.
    EXPECT_EQ(ring_size(&client.ring), 0);
    EXPECT_EQ(read(3), "XYZ");
}

TEST_F(TcpClient, LongLineIsSplitAndTheHeldBackByteStartsTheNextLine)
{
    const std::string line = letters(100);
    server.send(line + "\n");
    wait_arrived();

    std::string text;
    EXPECT_EQ(readline(text), 71);
    EXPECT_EQ(text, line.substr(0, 71));
    // A plain read does not see the byte the line read kept back.
    EXPECT_EQ(read(1), line.substr(72, 1));
    EXPECT_EQ(readline(text), 28);
    EXPECT_EQ(text, line.substr(71, 1) + line.substr(73));
}

TEST_F(TcpClient, LinesEndAtCarriageReturnOrLineFeed)
{
    server.send("ABC\r\nD\rE\n\n");
    wait_arrived();
    std::string text;
    EXPECT_EQ(readline(text), 3);
    EXPECT_EQ(text, "ABC");
    EXPECT_EQ(readline(text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(readline(text), 1);
    EXPECT_EQ(text, "D");
    EXPECT_EQ(readline(text), 1);
    EXPECT_EQ(readline(text), 0);
}

TEST_F(TcpClient, TinyBuffersNeverOverflow)
{
    server.send("xy\n");
    wait_arrived();
    std::string text = "unchanged";
    EXPECT_EQ(readline(text, 0), -1);

    // A one-byte buffer can only hold the terminator: the character waits for a bigger one.
    EXPECT_EQ(readline(text, 1), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(readline(text, 1, 100), -1);
    EXPECT_EQ(readline(text), 2);
    EXPECT_EQ(text, "xy");
}

TEST_F(TcpClient, SilentLinkTimesOutWithNothing)
{
    Stopwatch watch;
    std::string text = "stale";
    EXPECT_EQ(readline(text, 72, 300), -1);
    EXPECT_EQ(text, "");
    EXPECT_GE(watch.elapsed_ms(), 280);
    EXPECT_LT(watch.elapsed_ms(), 1500);

    EXPECT_EQ(read(10, 200), "");
}

// The caller's end comes before the line's time-out, and what it cuts off is no line; the
// plain read still hands out the part.
TEST_F(TcpClient, ReadingUntilAnEndGivesNoPartOfALine)
{
    char line[72];
    for (const bool whole : {true, false}) {
        server.send("PART");
        wait_arrived();
        Stopwatch watch;
        const int32_t length =
            whole ? tcpclient_readline_until(&client, line, sizeof line, 2000, monotonic_ms() + 200)
                  : tcpclient_readline(&client, line, sizeof line, 200);
        EXPECT_EQ(length, whole ? -1 : 4);
        EXPECT_STREQ(line, whole ? "" : "PART");
        EXPECT_GE(watch.elapsed_ms(), 190);
        EXPECT_LT(watch.elapsed_ms(), 1000);
    }
    server.send("WHOLE\n");
    wait_arrived();
    EXPECT_EQ(tcpclient_readline_until(&client, line, sizeof line, 2000, monotonic_ms() - 1), 5);
}

// Raised from another thread, the flag ends a long wait within a slice or so.
TEST_F(TcpClient, RaisedAbortFlagEndsAWait)
{
    int32_t flag = 0;
    client.abort_flag = &flag;
    Stopwatch since_raised;
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        since_raised = Stopwatch();
        __atomic_store_n(&flag, 1, __ATOMIC_RELAXED);
    });
    std::string text;
    EXPECT_EQ(readline(text, 72, 5000), -1);
    EXPECT_LT(since_raised.elapsed_ms(), 150);
    raiser.join();
    client.abort_flag = nullptr;
}

TEST_F(TcpClient, PeerClosingMidLineEndsTheLineAtOnce)
{
    server.send("ABC");
    server.close_peer();
    Stopwatch watch;
    std::string text;
    EXPECT_EQ(readline(text, 72, 5000), 3);
    EXPECT_EQ(text, "ABC");
    EXPECT_EQ(readline(text, 72, 5000), -1);
    EXPECT_LT(watch.elapsed_ms(), 1000);
}

TEST_F(TcpClient, WritingToAClosedPeerFailsWithoutKillingTheProcess)
{
    server.close_peer();
    int32_t result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i) {
        result = tcpclient_write(&client, "QT\n", 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(result, -1);
}

TEST_F(TcpClient, NegativeSizesSendAndReadNothing)
{
    char buffer[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(tcpclient_write(&client, buffer, -1), -1);
    EXPECT_EQ(tcpclient_read(&client, buffer, -1, 100), 0);
    EXPECT_EQ(std::string(buffer, 4), "wxyz");
    EXPECT_EQ(tcpclient_write(&client, "!", 1), 1);
    EXPECT_EQ(server.receive(8, 300), "!");
}

TEST_F(TcpClient, ClosedClientFailsWritesAndReadsNothing)
{
    const int sock = client.sock;
    tcpclient_close(&client);
    EXPECT_EQ(client.sock, -1);
    EXPECT_FALSE(socket_is_open(sock));
    tcpclient_close(&client);

    EXPECT_EQ(tcpclient_write(&client, "QT\n", 3), -1);
    EXPECT_EQ(read(4, 100), "");
    std::string text;
    EXPECT_EQ(readline(text, 72, 100), -1);
}

TEST_F(TcpClient, ReopeningDiscardsWhatTheOldLinkLeft)
{
    server.send("0123456789\n");
    wait_arrived();
    std::string text;
    ASSERT_EQ(readline(text, 4), 3);
    ASSERT_GT(ring_size(&client.ring), 0);
    tcpclient_close(&client);

    ASSERT_EQ(tcpclient_open(&client, "127.0.0.1", server.port()), 0);
    ASSERT_TRUE(server.accept_peer());
    EXPECT_EQ(ring_size(&client.ring), 0);
    server.send("new\n");
    EXPECT_EQ(readline(text), 3);
    EXPECT_EQ(text, "new");
}

// Runs under strace -c to count the system calls of line reading.
TEST_F(TcpClient, ReadsAFlowingReplyLineByLine)
{
    const std::string line = letters(254);
    std::string reply;
    for (int i = 0; i < 20; ++i) {
        reply += line + "\n";
    }
    server.send(reply);
    std::string text;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(readline(text, 300, 1000), 254);
        ASSERT_EQ(text, line);
    }
}

class TcpOpen : public ::testing::Test
{
protected:
    void TearDown() override
    {
        tcpclient_close(&client);
        EXPECT_EQ(open_descriptor_count(), descriptors_before);
    }

    vyr_tcpclient client;
    const int descriptors_before = open_descriptor_count();
};

TEST_F(TcpOpen, LocalhostMeansLoopback)
{
    LoopbackServer server;
    ASSERT_EQ(tcpclient_open(&client, "localhost", server.port()), 0);
    EXPECT_TRUE(server.accept_peer());
    EXPECT_EQ(client.address_length, 16);
    const unsigned char loopback[4] = {127, 0, 0, 1};
    EXPECT_EQ(std::memcmp(&client.peer_address.address, loopback, 4), 0);
    const unsigned char port[2] = {static_cast<unsigned char>(server.port() >> 8),
                                   static_cast<unsigned char>(server.port() & 0xff)};
    EXPECT_EQ(std::memcmp(&client.peer_address.port, port, 2), 0);
}

TEST_F(TcpOpen, HostTextsThatAreNotAnAddressFailAndCloseTheSocket)
{
    LoopbackServer server;
    for (const char* host :
         {"LOCALHOST", "localhost ", "sensor.local", "", "255.255.255.255", "127.1", "0x7f.0.0.1",
          "127.0.0.1.", " 127.0.0.1", "127.0.0.1 ", "127.0.0.256", "127.0.0.0010", "127..0.1",
          "+127.0.0.1", "127.0.0.-1", "127.0.0.1:80"}) {
        EXPECT_EQ(tcpclient_open(&client, host, server.port()), -1) << host;
        EXPECT_EQ(client.sock, -1) << host;
    }
    EXPECT_EQ(tcpclient_open(&client, nullptr, server.port()), -1);
}

TEST(Ipv4Text, FieldsAreDecimalWithTheSensorsZeroPadding)
{
    const struct
    {
        const char* text;
        int32_t result;
        uint8_t octets[4];
    } cases[] = {
        {"192.168.000.010", 0, {192, 168, 0, 10}}, {"127.0.0.010", 0, {127, 0, 0, 10}},
        {"0.0.0.0", 0, {0, 0, 0, 0}},             {"255.255.255.255", 0, {255, 255, 255, 255}},
        {"010.1.1.1", 0, {10, 1, 1, 1}},           {"1.2.3", -1, {9, 9, 9, 9}},
        {"1.2.3.4.5", -1, {9, 9, 9, 9}},           {"1.2.3.0x4", -1, {9, 9, 9, 9}},
        {"1.2.3.4\n", -1, {9, 9, 9, 9}},           {"1.2.3.1000", -1, {9, 9, 9, 9}},
        {"1.2.3.", -1, {9, 9, 9, 9}},
    };
    for (const auto& c : cases) {
        uint8_t octets[4] = {9, 9, 9, 9};
        EXPECT_EQ(ipv4_from_text(c.text, octets), c.result) << c.text;
        EXPECT_EQ(std::memcmp(octets, c.octets, 4), 0) << c.text;
    }
    EXPECT_EQ(ipv4_from_text(nullptr, nullptr), -1);

    uint16_t port = 7;
    EXPECT_EQ(ipv4_port_from_text("010940", &port), -1);
    EXPECT_EQ(ipv4_port_from_text("01094", &port), 0);
    EXPECT_EQ(port, 1094);
    for (const char* text : {"0", "65536", "", "-1", "80 ", "0x50", "99999"}) {
        EXPECT_EQ(ipv4_port_from_text(text, &port), -1) << text;
    }
    EXPECT_EQ(port, 1094);
}

#ifndef _WIN32
// The padded form reaches the address it shows, never an octal reading (010 = 8).
TEST_F(TcpOpen, ZeroPaddedOctetsConnectToTheDecimalAddress)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.10");
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    socklen_t length = sizeof(address);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    EXPECT_EQ(tcpclient_open(&client, "127.0.0.010", ntohs(address.sin_port)), 0);
    const unsigned char expected[4] = {127, 0, 0, 10};
    EXPECT_EQ(std::memcmp(&client.peer_address.address, expected, 4), 0);
    sockaddr_in peer{};
    length = sizeof(peer);
    const int accepted = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    EXPECT_GE(accepted, 0);
    if (accepted >= 0) {
        close(accepted);
    }
    close(listener);
}
#endif

TEST_F(TcpOpen, PortsOutsideSixteenBitsFailInsteadOfWrapping)
{
    LoopbackServer server;
    for (long port : {0L, -1L, 65536L + server.port(), std::numeric_limits<long>::max()}) {
        EXPECT_EQ(tcpclient_open(&client, "127.0.0.1", port), -1) << port;
        EXPECT_EQ(client.sock, -1) << port;
    }
}

TEST_F(TcpOpen, RefusedConnectionFailsAtOnce)
{
    Stopwatch watch;
    EXPECT_EQ(tcpclient_open(&client, "127.0.0.1", free_loopback_port()), -1);
    EXPECT_EQ(client.sock, -1);
    EXPECT_LT(watch.elapsed_ms(), 1000);
}

TEST_F(TcpOpen, UnansweredConnectionTimesOutAfterTwoSeconds)
{
    LoopbackServer server(0);
    const std::vector<int> fillers = fill_accept_queue(server.port());
    const int descriptors_with_fillers = open_descriptor_count();

    Stopwatch watch;
    EXPECT_EQ(tcpclient_open(&client, "127.0.0.1", server.port()), -2);
    EXPECT_GE(watch.elapsed_ms(), 1900);
    EXPECT_LT(watch.elapsed_ms(), 3000);
    EXPECT_EQ(client.sock, -1);
    EXPECT_EQ(open_descriptor_count(), descriptors_with_fillers);

    close_sockets(fillers);
}

} // namespace
