// Typed address ranges, and the ranges a search takes from the computer's interfaces.

#include "address_ranges.h"
#include "network_search.h"

#include <gtest/gtest.h>

using namespace vyr_find;

namespace {

// "FIRST-LAST" for each range, blank-separated.
std::string text_of(const std::vector<Address_range>& ranges)
{
    std::string text;
    for (const Address_range& range : ranges) {
        text +=
            (text.empty() ? "" : " ") + address_text(range.first) + "-" + address_text(range.last);
    }
    return text;
}

struct Range_case
{
    const char* text;
    const char* range; // "FIRST-LAST", or what the refusal says
};

const Range_case range_cases[] = {
    {"127.0.3.77/24", "127.0.3.1-127.0.3.254"}, // no network or broadcast address
    {"127.0.3.8/30", "127.0.3.9-127.0.3.10"},     {"127.0.3.8/31", "127.0.3.8-127.0.3.9"},
    {"127.0.3.8/32", "127.0.3.8-127.0.3.8"},      {"127.0.0.0/16", "127.0.0.1-127.0.255.254"},
    {"127.0.3.5-9", "127.0.3.5-127.0.3.9"},       {"127.0.3.5", "127.0.3.5-127.0.3.5"},
    {"127.000.003.010", "127.0.3.10-127.0.3.10"}, // decimal, never octal
    {"127.0.0.0/15", "larger than a /16"},        {"127.0.3.0/33", "is no address range"},
    {"127.0.3.0/+24", "is no address range"},     {"127.0.3.9-5", "is no address range"},
    {"127.0.3.5-256", "is no address range"},     {"127.0.3.5-", "is no address range"},
    {"127.0.3", "is no address range"},           {"127.0.3.256", "is no address range"},
    {" 127.0.3.1", "is no address range"},        {"", "is no address range"},
};

class Range_test : public testing::TestWithParam<Range_case>
{
};

TEST_P(Range_test, parses_or_says_why_not)
{
    Address_range range;
    std::string error;
    if (parse_range(GetParam().text, range, error)) {
        EXPECT_EQ(text_of({range}), GetParam().range);
        EXPECT_EQ(error, "");
    } else {
        EXPECT_NE(error.find(GetParam().range), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Discovery, Range_test, testing::ValuesIn(range_cases));

TEST(Discovery, ranges_given_twice_or_overlapping_are_searched_once)
{
    const std::vector<Address_range> joined =
        merged({{5, 9}, {1, 3}, {4, 4}, {8, 12}, {20, 20}, {0xFFFFFFF0, 0xFFFFFFFF}, {20, 20}});
    EXPECT_EQ(joined, (std::vector<Address_range>{{1, 12}, {20, 20}, {0xFFFFFFF0, 0xFFFFFFFF}}));
}

struct Default_case
{
    const char* name;
    std::vector<Interface> interfaces;
    const char* ranges;
    const char* note; // nullptr: no note at all
};

Interface up(const char* name, const char* address, const char* netmask, bool is_up = true)
{
    Interface item{name, 0, 0, is_up, false};
    EXPECT_TRUE(parse_address(address, item.address) && parse_address(netmask, item.netmask));
    return item;
}

const std::vector<Default_case>& default_cases()
{
    static const std::vector<Default_case> cases = {
        {"factory_network",
         {up("eth0", "192.168.0.20", "255.255.255.0")},
         "192.168.0.1-192.168.0.19 192.168.0.21-192.168.0.254",
         nullptr},
        {"large_network_capped_around_own_address",
         {up("eth0", "10.1.2.3", "255.255.0.0")},
         "10.1.0.1-10.1.2.2 10.1.2.4-10.1.3.255",
         "sudo ip addr add 192.168.0.20/24 dev eth0"},
        {"class_a_at_its_start",
         {up("wlan0", "10.0.0.9", "255.0.0.0")},
         "10.0.0.1-10.0.0.8 10.0.0.10-10.0.3.255",
         "lies in none of this computer's networks"},
        {"down_and_loopback_left_out",
         {Interface{"lo", 0x7F000001, 0xFF000000, true, true},
          up("eth1", "192.168.0.30", "255.255.255.0", false),
          up("eth0", "172.16.5.1", "255.255.255.252")},
         "172.16.5.2-172.16.5.2",
         "dev eth0"},
        {"same_network_twice_searched_once",
         {up("eth0", "192.168.0.20", "255.255.255.0"),
          up("eth0:1", "192.168.0.20", "255.255.255.0")},
         "192.168.0.1-192.168.0.19 192.168.0.21-192.168.0.254",
         nullptr},
        {"nothing_up", {}, "", "dev <interface>"},
    };
    return cases;
}

class Default_range_test : public testing::TestWithParam<Default_case>
{
};

TEST_P(Default_range_test, networks_of_the_interfaces_that_are_up)
{
    const Default_case& c = GetParam();
    const Default_ranges result = default_ranges(c.interfaces);
    EXPECT_EQ(text_of(result.ranges), c.ranges);
    uint64_t total = 0;
    for (const Address_range& range : result.ranges) {
        total += range.size();
    }
    EXPECT_LE(total, max_default_range);
    std::string notes;
    for (const std::string& note : result.notes) {
        notes += note + "\n";
    }
    EXPECT_EQ(notes.empty(), c.note == nullptr) << notes;
    EXPECT_NE(notes.find(c.note ? c.note : ""), std::string::npos) << notes;
}

INSTANTIATE_TEST_SUITE_P(Discovery, Default_range_test, testing::ValuesIn(default_cases()),
                         [](const testing::TestParamInfo<Default_case>& test_info) {
                             return test_info.param.name;
                         });

} // namespace
