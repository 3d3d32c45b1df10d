#include "syscall_counter.h"
#include "tcp_client.h"
#include "loopback_server.h"
#include "transport_reads.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <thread>

namespace {

class TcpClientCalls : public ::testing::Test
{
protected:
    void SetUp() override { connect_client(); }
    void TearDown() override { tcpclient_close(&client); }

    void connect_client()
    {
        ASSERT_EQ(tcpclient_open(&client, "127.0.0.1", server.port()), 0);
        ASSERT_TRUE(server.accept_peer());
    }

    // Counting must not start before every byte sits in the client's socket.
    void wait_until_queued(int bytes)
    {
        Stopwatch watch;
        int queued = 0;
        while (watch.elapsed_ms() < 2000 && ioctl(client.sock, FIONREAD, &queued) == 0 &&
               queued < bytes) {
            std::this_thread::yield();
        }
        ASSERT_EQ(queued, bytes);
    }

    int32_t readline(char (&line)[100], int32_t timeout)
    {
        return tcpclient_readline(&client, line, sizeof line, timeout);
    }

    LoopbackServer server;
    vyr_tcpclient client;
};

TEST_F(TcpClientCalls, FlowingReplyCostsOneReceivePerRingFull)
{
    const int line_count = 30;
    const std::string line(67, 'x'); // with its LF 68 bytes: 30 lines fill the ring 8 times
    std::string reply;
    for (int i = 0; i < line_count; ++i) {
        reply += line + "\n";
    }
    server.send(reply);
    wait_until_queued(static_cast<int>(reply.size()));

    char text[100];
    start_counting_syscalls();
    for (int i = 0; i < line_count; ++i) {
        ASSERT_EQ(readline(text, 2000), 67);
    }
    const Syscall_counts calls = stop_counting_syscalls();
    EXPECT_EQ(calls.recv, 8);
    EXPECT_LE(calls.setsockopt, 1) << "the poll time-out is set once, not per receive";
}

// A skipped setting must never leave the socket with another limit than asked for.
TEST_F(TcpClientCalls, EachChangedTimeOutStillReachesTheSocket)
{
    char text[100];
    for (const int32_t timeout : {150, 600, 150}) {
        Stopwatch watch;
        EXPECT_EQ(readline(text, timeout), -1);
        EXPECT_GE(watch.elapsed_ms(), timeout - 10);
        EXPECT_LT(watch.elapsed_ms(), timeout + 400);
    }
}

TEST_F(TcpClientCalls, ReopenedSocketGetsThePollTimeOutAgain)
{
    char text[100];
    EXPECT_EQ(readline(text, 1), -1); // leaves the old socket at the 1 ms poll limit
    tcpclient_close(&client);
    server.close_peer();
    connect_client();

    // Were the old limit taken as the new socket's, the poll would wait without limit.
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        server.close_peer();
    });
    Stopwatch watch;
    EXPECT_EQ(readline(text, 1), -1);
    EXPECT_LT(watch.elapsed_ms(), 1000);
    closer.join();
}

} // namespace
