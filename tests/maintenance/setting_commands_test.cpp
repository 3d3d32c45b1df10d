// The maintenance commands' own judgements, without a sensor behind the link.

#include <gtest/gtest.h>

#include "address_check.h"
#include "address_verification.h"
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

// Settings no sensor could be reached with, and their neighbours that must still go out.
TEST(Address_check, RefusesWhatCannotWorkWithItsReason)
{
    const struct
    {
        const char* address;
        const char* mask;
        const char* gateway;
        bool from_loopback;
        const char* reason; // empty: sent
    } cases[] = {
        {"192.168.0.11", "255.255.255.0", "192.168.0.1", false, ""},
        {"10.1.2.3", "255.0.0.0", "0.0.0.0", false, ""},
        {"192.168.0.1", "255.255.255.252", "192.168.0.2", false, ""}, // /30
        {"127.0.0.9", "255.255.255.0", "127.0.0.1", true, ""},
        {"192.168.0.11", "255.0.255.0", "192.168.0.1", false, "255.0.255.0 is not contiguous"},
        {"192.168.0.11", "255.255.255.10", "192.168.0.1", false, "is not contiguous"},
        {"192.168.0.11", "0.0.0.0", "0.0.0.0", false, "(/0) leaves no network"},
        {"192.168.0.11", "255.255.255.254", "0.0.0.0", false, "(/31) leaves no room"},
        {"192.168.0.11", "255.255.255.255", "0.0.0.0", false, "(/32) leaves no room"},
        {"192.168.0.0", "255.255.255.0", "0.0.0.0", false,
         "192.168.0.0 is the network address of 192.168.0.0/24"},
        {"192.168.0.255", "255.255.255.0", "0.0.0.0", false,
         "192.168.0.255 is the broadcast address of 192.168.0.0/24"},
        {"10.255.255.255", "255.0.0.0", "0.0.0.0", false, "broadcast address of 10.0.0.0/8"},
        {"0.1.2.3", "255.255.255.0", "0.0.0.0", false, "0.1.2.3 is in 0.0.0.0/8"},
        {"224.0.0.1", "255.255.255.0", "0.0.0.0", false, "224.0.0.1 is a multicast address"},
        {"240.0.0.1", "255.255.255.0", "0.0.0.0", false, "240.0.0.1 is a reserved address"},
        {"255.255.255.255", "255.255.255.0", "0.0.0.0", false, "reserved address"},
        {"127.0.0.9", "255.255.255.0", "0.0.0.0", false, "127.0.0.9 is a loopback address"},
        {"192.168.0.11", "255.255.255.0", "192.168.1.1", false,
         "the gateway 192.168.1.1 is outside 192.168.0.0/24"},
        {"192.168.0.256", "255.255.255.0", "0.0.0.0", false, "IP address is not four numbers"},
    };
    namespace sc = setting_commands;
    const auto fields = [](const std::string& text) {
        sc::Address address;
        size_t begin = 0;
        for (std::string& field : address) {
            const size_t end = std::min(text.find('.', begin), text.size());
            field = text.substr(begin, end - begin);
            begin = end + 1;
        }
        return address;
    };
    for (const auto& c : cases) {
        const std::string reason = sc::address_refusal(
            {fields(c.address), fields(c.mask), fields(c.gateway)}, c.from_loopback);
        if (*c.reason == '\0') {
            EXPECT_EQ(reason, "") << c.address << " " << c.mask << " " << c.gateway;
        } else {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        }
    }
    // Fields as the editors leave them: emptied is 0, leading zeros are decimal.
    EXPECT_EQ(sc::address_refusal({{"10", "", "0", "010"}, {"255", "0", "", "000"}, {"0", "", "", ""}},
                                  false),
              "");
}

// Without an address of this computer in the new subnet nothing is tried: the user is told
// how to get one; a simulated sensor is not looked for away from loopback.
TEST(Address_verification, SaysWhatToDoWhenNothingReachesTheNewSubnet)
{
    namespace av = address_verification;
    const std::vector<vyr_find::Interface> interfaces = {
        {"lo", 0x7F000001, 0xFF000000, true, true},
        {"eth0", 0xC0A80105, 0xFFFFFF00, true, false}, // 192.168.1.5/24
    };
    av::Request request;
    request.address = 0x0A010203; // 10.1.2.3/24
    request.netmask = 0xFFFFFF00;
    request.gateway = 0x0A010204;
    request.port = 10940;
    request.wait_ms = 0;
    av::Outcome outcome = av::verify(request, interfaces);
    EXPECT_EQ(outcome.verdict, av::Verdict::unreachable);
    EXPECT_NE(outcome.text.find("no address in 10.1.2.0/24"), std::string::npos) << outcome.text;
    EXPECT_NE(outcome.text.find("sudo ip addr add 10.1.2.5/24 dev eth0"), std::string::npos)
        << outcome.text;

    request.address = 0xC0A80101; // 192.168.1.1, where eth0 is
    EXPECT_EQ(av::reaching_interface(request, interfaces), &interfaces[1]);
    request.simulated = true;
    outcome = av::verify(request, interfaces);
    EXPECT_EQ(outcome.verdict, av::Verdict::not_checked);
    EXPECT_TRUE(av::simulated_sensor(true, "127.0.0.1"));
    EXPECT_TRUE(av::simulated_sensor(false, "/dev/pts/3"));
    EXPECT_FALSE(av::simulated_sensor(true, "192.168.0.10"));
    EXPECT_FALSE(av::simulated_sensor(false, "/dev/ttyACM0"));
    request.address = 0x7F050607; // any loopback address is this computer's
    EXPECT_EQ(av::reaching_interface(request, interfaces), &interfaces[0]);
}

} // namespace
