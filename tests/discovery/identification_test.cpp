// The "VV" reply as a search reads it: only a whole, well-formed one names a sensor.

#include "identification.h"
#include "vyr_exchange.h"

#include <gtest/gtest.h>

using namespace vyr_find;

namespace {

// "KEY:VALUE;C", the checksum leaving out the separator, as the sensor sends it.
std::string field(const std::string& key, const std::string& value)
{
    const std::string text = key + ":" + value;
    return text + ";" + vyr_checksum(text.data(), static_cast<int>(text.size()));
}

std::string version_reply(const std::string& serial = "S1234", const std::string& status = "00P")
{
    return "VV\n" + status + "\n" + field("VEND", "VYR simulated sensors") + "\n" +
           field("PROD", "VYR-SIM01") + "\n" + field("FIRM", "1.2.3 (2026-12-01)") + "\n" +
           field("PROT", "ZEMA2.0") + "\n" + field("SERI", serial) + "\n\n";
}

const std::string scan_reply = "MD0044072501000\n99b\n01TbG\n0K00KU0L:0L_0MD0Mi0NN0O30OX0P=\n\n";

struct Reply_case
{
    const char* name;
    std::string received;
    bool mid_reply;
    bool identified, measuring, foreign;
};

std::string with_bad_data_checksum()
{
    std::string reply = version_reply();
    const size_t at = reply.find("PROD:VYR-SIM01;") + 15;
    reply[at] = reply[at] == 'A' ? 'B' : 'A';
    return reply;
}

const std::vector<Reply_case>& reply_cases()
{
    static const std::vector<Reply_case> cases = {
        {"whole_reply", version_reply(), false, true, false, false},
        {"reply_not_ended_yet", version_reply().substr(0, 40), false, false, false, false},
        {"status_refused", version_reply("S1", "01Q"), false, false, false, true},
        {"status_checksum_wrong", version_reply("S1", "00Q"), false, false, false, true},
        {"data_checksum_wrong", with_bad_data_checksum(), false, false, false, true},
        {"wrong_echo", "VW" + version_reply().substr(2), false, false, false, true},
        {"serial_number_missing",
         "VV\n00P\n" + field("PROD", "X") + "\n" + field("FIRM", "1") + "\n\n", false, false, false,
         true},
        {"control_byte_in_value", version_reply(std::string("S\x1b", 2)), false, false, false,
         true},
        {"echo_of_anything", "hello\n\n", false, false, false, true},
        {"scans_around_the_answer", scan_reply + version_reply() + scan_reply, false, true, true,
         false},
        // A serial line may start inside a scan sent before the question.
        {"tail_of_a_scan_first", "0OX0P=\n\n" + version_reply(), true, true, false, false},
        {"tail_of_a_scan_first_over_tcp", "0OX0P=\n\n" + version_reply(), false, false, false,
         true},
        {"only_scans", "X\n\n" + scan_reply, true, false, true, false},
        {"endless_line", std::string(70000, 'x'), false, false, false, true},
    };
    return cases;
}

class Reply_test : public testing::TestWithParam<Reply_case>
{
};

TEST_P(Reply_test, names_a_sensor_only_for_a_whole_reply)
{
    const Reply_case& c = GetParam();
    // Fed in small pieces: where a read ends must not matter.
    Reply_reader reader(c.mid_reply);
    for (size_t at = 0; at < c.received.size(); at += 7) {
        reader.feed(c.received.data() + at, std::min<size_t>(7, c.received.size() - at));
    }
    EXPECT_EQ(reader.identified(), c.identified);
    EXPECT_EQ(reader.measuring(), c.measuring);
    EXPECT_EQ(reader.foreign(), c.foreign);
    if (c.identified) {
        EXPECT_EQ(reader.identity().product, "VYR-SIM01");
        EXPECT_EQ(reader.identity().firmware_version, "1.2.3");
        EXPECT_EQ(reader.identity().serial_number, "S1234");
    }
}

INSTANTIATE_TEST_SUITE_P(Discovery, Reply_test, testing::ValuesIn(reply_cases()),
                         [](const testing::TestParamInfo<Reply_case>& test_info) {
                             return test_info.param.name;
                         });

} // namespace
