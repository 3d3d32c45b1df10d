#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include "command_link.h"
#include "sensor_session.h"
#include "setting_commands.h"

namespace {

class Command_link_test : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.connect()); }

    // One command and its reply; returns the judgement, keeps the text and the time.
    bool exchange(const QString& command, int time_out_ms = 2000)
    {
        EXPECT_TRUE(link.send_command(command));
        QElapsedTimer clock;
        clock.start();
        const bool accepted = link.receive_response(response, "00P", time_out_ms);
        elapsed_ms = clock.elapsed();
        return accepted;
    }

    Sensor_session session;
    Command_link link{session.driver};
    QString response = "left over";
    qint64 elapsed_ms = 0;
};

TEST_F(Command_link_test, AcceptedReplyIsCollectedWhole)
{
    EXPECT_TRUE(exchange("%AH1\n"));
    EXPECT_EQ(response, "%AH1\n00P\n\n");
    EXPECT_TRUE(link.commands().echo_seen());
    EXPECT_EQ(session.commands_after(1), std::vector<std::string>{"%AH1"});
    EXPECT_TRUE(session.sim.heater());
}

TEST_F(Command_link_test, StatusWithWrongChecksumIsRefused)
{
    session.sim.set_fault(vyr_sim::Fault::status_checksum);
    EXPECT_FALSE(exchange("%AH1\n"));
    const QStringList lines = response.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.at(0), "%AH1");
    EXPECT_TRUE(lines.at(1).startsWith("00"));
    EXPECT_NE(lines.at(1), "00P");
}

TEST_F(Command_link_test, StatusIsComparedAsWholeLine)
{
    EXPECT_TRUE(link.send_command("%AH0\n"));
    EXPECT_FALSE(link.receive_response(response, "00", 2000));
    EXPECT_TRUE(link.send_command("%AH0\n"));
    EXPECT_FALSE(link.receive_response(response, "00P ", 2000));
}

TEST_F(Command_link_test, NoAnswerFailsAfterTheTimeOut)
{
    session.sim.set_fault(vyr_sim::Fault::no_answer);
    EXPECT_FALSE(exchange("%AH1\n"));
    EXPECT_EQ(response, "\n");
    EXPECT_FALSE(link.commands().echo_seen());
    EXPECT_GE(elapsed_ms, 2000);
    EXPECT_LT(elapsed_ms, 2600);
}

TEST_F(Command_link_test, ReplyCompletedAfterTheTimeOutFails)
{
    // Each line arrives well within the time-out, the whole reply does not.
    session.sim.set_fault(vyr_sim::Fault::trickle);
    session.sim.set_trickle_ms(150);
    EXPECT_FALSE(exchange("%AH1\n", 1000));
    EXPECT_GT(elapsed_ms, 1000);
    // How many lines made it before the check depends on the machine's load; the echo always does.
    EXPECT_TRUE(response.startsWith("%AH1\n")) << response.toStdString();
}

TEST_F(Command_link_test, LongEchoArrivesInPiecesAndMovesTheStatus)
{
    session.sim.set_fault(vyr_sim::Fault::long_line);
    EXPECT_FALSE(exchange("%AH1\n"));
    const QStringList lines = response.split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.at(0).size(), 99);
    EXPECT_TRUE(lines.at(0).startsWith("%AH1"));
    EXPECT_EQ(lines.at(2), "00P");
}

TEST_F(Command_link_test, LinkClosedAfterTheStatusStillCounts)
{
    session.sim.set_fault(vyr_sim::Fault::close_after_status);
    EXPECT_TRUE(exchange("%AH1\n"));
    EXPECT_TRUE(response.startsWith("%AH1\n00P\n"));
    EXPECT_LT(elapsed_ms, 2000);
}

TEST(Command_link_unconnected, DriverWithoutConnectionFailsWithoutWaiting)
{
    Sensor_session session;
    ASSERT_TRUE(session.connect());
    kvt::Vyr_driver never_opened;
    for (kvt::Vyr_driver* driver : {&never_opened, &session.driver}) {
        driver->close();
        Command_link link(*driver);
        EXPECT_FALSE(link.send_command("%AH1\n"));
        QString response;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(link.receive_response(response, "00P", 2000));
        EXPECT_LT(clock.elapsed(), 500);
        EXPECT_EQ(response, "\n");
    }
}

} // namespace
