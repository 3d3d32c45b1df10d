// The maintenance commands' own judgements, without a sensor behind the link.

#include <gtest/gtest.h>

#include "setting_commands.h"
#include "vyr_driver.h"

namespace {

// Hands the operations one reply as the link would have collected it, and keeps what they
// sent and waited for.
struct Scripted_link : setting_commands::Maintenance_link
{
    using Maintenance_link::Maintenance_link;
    bool send(const std::string& command) override
    {
        sent.push_back(command);
        return true;
    }
    bool receive(std::string& response, const std::string& status, int time_out_ms) override
    {
        statuses.push_back(status);
        time_outs.push_back(time_out_ms);
        response = reply;
        return accepted;
    }
    bool accepted = true;
    std::string reply;
    std::vector<std::string> sent, statuses;
    std::vector<int> time_outs;
};

// The bytes each operation puts on the wire, and the status and time-out it judges by.
TEST(Setting_operations, SendTheirTextsAndJudgeByTheirRows)
{
    namespace sc = setting_commands;
    const sc::Network_settings settings{
        {"192", "168", "0", "11"}, {"255", "255", "255", ""}, {"192", "168", "0", "1"}};
    const struct
    {
        std::string sent;
        const char* expected;
    } texts[] = {
        {sc::heater_command(true), "%AH1\n"},
        {sc::heater_command(false), "%AH0\n"},
        {sc::phase_set_command(0), "%SP000\n"},
        {sc::phase_set_command(45), "%SP045\n"},
        {sc::phase_set_command(359), "%SP359\n"},
        {sc::phase_get_command, "%PG\n"},
        {sc::compact_address_command(settings), "$IP192168000011255255255000192168000001\n"},
        {sc::dotted_address_command(settings),
         "$IP192.168.000.011 255.255.255.000 192.168.000.001\n"},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(t.sent, t.expected);
    }

    kvt::Vyr_driver driver;
    Scripted_link link(driver);
    link.reply = "%AH1\n00P\n\n";
    EXPECT_TRUE(sc::set_heater(link, true));
    EXPECT_EQ(link.sent, (std::vector<std::string>{"%AH1\n"}));
    EXPECT_EQ(link.statuses, (std::vector<std::string>{"00P"}));
    EXPECT_EQ(link.time_outs, (std::vector<int>{2000}));
    link.accepted = false;
    EXPECT_FALSE(sc::set_phase(link, 7));
    EXPECT_EQ(link.sent.back(), "%SP007\n");
    EXPECT_EQ(link.time_outs.back(), 1000);
    // A phase no three digits hold is not sent at all.
    for (int degrees : {-1, 360, 1000}) {
        EXPECT_FALSE(sc::set_phase(link, degrees)) << degrees;
    }
    EXPECT_FALSE(sc::exchange(link, kvt::Command::phase_set)); // its format, unfilled
    EXPECT_EQ(link.sent.size(), 2u);
}

TEST(Get_phase, OnlyThreeDigitsOfAPhaseAreAPhase)
{
    const struct
    {
        bool accepted;
        const char* reply;
        int phase;
    } cases[] = {
        {true, "%PG\n00P\n123\n\n", 123}, {true, "%PG\n00P\n045 and more\n\n", 45},
        {true, "%PG\n00P\n000\n\n", 0},   {true, "%PG\n00P\n359\n\n", 359},
        {false, "%PG\n04S\n123\n\n", -1}, {true, "%PG\n00P\n", -1}, // cut after its status line
        {true, "%PG\n00P\n\n", -1},                                 // an empty data line
        {true, "%PG\n00P\n12\n\n", -1},   {true, "%PG\n00P\nxyz\n\n", -1},
        {true, "%PG\n00P\n-12\n\n", -1},  {true, "%PG\n00P\n 12\n\n", -1},
        {true, "%PG\n00P\n360\n\n", -1},  {true, "%PG\n00P\n999\n\n", -1},
    };
    kvt::Vyr_driver driver;
    Scripted_link link(driver);
    for (const auto& c : cases) {
        link.accepted = c.accepted;
        link.reply = c.reply;
        EXPECT_EQ(setting_commands::get_phase(link), c.phase) << c.reply;
    }
}

} // namespace
