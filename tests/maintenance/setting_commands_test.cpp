// The maintenance commands' own judgements, without a sensor behind the link.

#include <gtest/gtest.h>

#include "setting_commands.h"
#include "vyr_driver.h"

namespace {

// Hands get_phase one reply as the link would have collected it.
struct Scripted_link : setting_commands::Maintenance_link
{
    using Maintenance_link::Maintenance_link;
    bool send(const std::string&) override { return true; }
    bool receive(std::string& response, const std::string&, int) override
    {
        response = reply;
        return accepted;
    }
    bool accepted = true;
    std::string reply;
};

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
