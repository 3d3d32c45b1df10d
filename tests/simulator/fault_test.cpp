#include "encoding.h"
#include "tcp_sensor_test.h"

#include <algorithm>
#include <chrono>

using namespace vyr_sim;
using Clock = std::chrono::steady_clock;

using Sensor_faults = Tcp_sensor;

TEST_F(Sensor_faults, checksum_faults_spoil_only_their_line)
{
    sim.set_fault(Fault::status_checksum);
    Lines r = ask("PP");
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[1].substr(0, 2), "00");
    EXPECT_NE(r[1], "00P");
    EXPECT_EQ(r[2].back(), checksum(r[2].substr(0, r[2].size() - 2)));

    sim.clear_faults();
    sim.set_fault(Fault::data_checksum);
    r = ask("PP");
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[1], "00P");
    EXPECT_NE(r[2].back(), checksum(r[2].substr(0, r[2].size() - 2)));
    EXPECT_EQ(r[3].back(), checksum(r[3].substr(0, r[3].size() - 2)));
}

TEST_F(Sensor_faults, echo_faults)
{
    sim.set_fault(Fault::wrong_echo);
    Lines r = ask("QT");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].size(), 2u);
    EXPECT_EQ(r[0][0], 'Q');
    EXPECT_NE(r[0][1], 'T');

    sim.clear_faults();
    sim.set_fault(Fault::long_line);
    r = ask("%AH1");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_GE(r[0].size(), 100u);
    EXPECT_EQ(r[0].rfind("%AH1", 0), 0u);
    EXPECT_EQ(r[1], "00P");
}

TEST_F(Sensor_faults, link_closed_after_the_status_line)
{
    sim.set_fault(Fault::close_after_status);
    EXPECT_EQ(ask("PP"), (Lines{"PP", "00P"}));
    EXPECT_FALSE(host->complete());
    EXPECT_FALSE(sim.client_connected());
}

TEST_F(Sensor_faults, silence_delay_and_trickle)
{
    sim.set_fault(Fault::no_answer);
    EXPECT_TRUE(ask("QT", 300).empty());
    EXPECT_EQ(sim.received().size(), 1u);

    sim.clear_faults();
    sim.set_fault(Fault::delay);
    sim.set_fault_delay_ms(400);
    auto start = Clock::now();
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));

    sim.clear_faults();
    sim.set_fault(Fault::trickle);
    sim.set_trickle_ms(20);
    start = Clock::now();
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"})); // 8 bytes, 7 pauses
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(140));

    // Lifted while under way, by either call, both send the rest of the reply at once.
    sim.clear_faults();
    for (Fault f : {Fault::delay, Fault::trickle})
        for (bool by_update : {false, true}) {
            sim.update([](Sensor_settings& s) {
                s.fault_delay_ms = 5000;
                s.trickle_ms = 1000;
            });
            sim.set_fault(f);
            ASSERT_TRUE(host->send("QT\n"));
            EXPECT_TRUE(host->reply(200).size() < 2);
            start = Clock::now();
            if (by_update)
                sim.update([f](Sensor_settings& s) { s.set_fault(f, false); });
            else
                sim.clear_faults();
            EXPECT_EQ(host->reply(1000), (Lines{"QT", "00P"})) << by_update;
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << by_update;
        }
}

TEST_F(Sensor_faults, command_prefix_limits_the_faults)
{
    sim.set_fault(Fault::status_checksum);
    sim.set_fault_command("%PG");
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    EXPECT_NE(ask("%PG").at(1), "00P");
}

TEST_F(Sensor_faults, scan_faults_shape_the_echo_and_the_data)
{
    ask("BM");
    sim.set_fault(Fault::huge_range);
    Lines r = ask("GD0044004801");
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[0], "GD0000999901");
    size_t chars = 0;
    for (size_t i = 3; i < r.size(); ++i)
        chars += r[i].size() - 1;
    EXPECT_EQ(chars, 30000u);

    sim.clear_faults();
    sim.set_fault(Fault::short_echo_range);
    r = ask("GD0044004801");
    EXPECT_EQ(r.at(0), "GD0044004701"); // five steps sent, four announced
    EXPECT_EQ(r.at(3).size(), 16u);

    sim.clear_faults();
    sim.set_fault(Fault::leading_ampersand);
    EXPECT_EQ(ask("GD0044004801").at(3).at(0), '&');

    sim.clear_faults();
    sim.set_fault(Fault::no_steps);
    r = ask("GD0044004801");
    EXPECT_TRUE(host->complete());
    EXPECT_EQ(r.size(), 3u); // echo, status, time stamp
}

namespace {

// What arrives within msec, cut at LF.
Lines lines_within(Line_client& host, int msec)
{
    const std::string bytes = host.read_for(msec);
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

bool has_line(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST_F(Sensor_faults, chatter_is_paced_answers_nothing_and_ends_with_the_fault)
{
    sim.set_line_interval_ms(20);
    sim.set_fault(Fault::chatter); // no prefix: from the moment a host is there
    ASSERT_TRUE(host->send("QT\n"));
    const Lines lines = lines_within(*host, 500);
    EXPECT_GE(lines.size(), 10u); // 25 at 20 ms, fewer on a loaded machine
    EXPECT_LE(lines.size(), 30u);
    for (const auto& l : lines)
        EXPECT_EQ(l.rfind("$GP", 0), 0u) << l;
    EXPECT_EQ(sim.received().size(), 1u); // heard, not answered

    sim.clear_faults();
    lines_within(*host, 100);
    EXPECT_TRUE(lines_within(*host, 100).empty());
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));

    // With a prefix it starts at that command; others are answered meanwhile.
    sim.set_fault_command("VV");
    sim.set_fault(Fault::chatter);
    EXPECT_TRUE(lines_within(*host, 100).empty());
    EXPECT_EQ(ask("QT"), (Lines{"QT", "00P"}));
    ASSERT_TRUE(host->send("VV\n"));
    const Lines after = lines_within(*host, 200);
    EXPECT_GE(after.size(), 3u);
    EXPECT_FALSE(has_line(after, "VV"));
}

TEST_F(Sensor_faults, endless_reply_repeats_its_data_lines_without_the_empty_line)
{
    sim.set_line_interval_ms(10);
    sim.set_fault_command("PP");
    sim.set_fault(Fault::endless_reply);
    ASSERT_TRUE(host->send("PP\n"));
    const Lines lines = lines_within(*host, 400);
    const size_t fields = 8;
    ASSERT_GE(lines.size(), 2 + 2 * fields);
    EXPECT_LE(lines.size(), 2 + fields + 45);
    EXPECT_EQ(lines[0], "PP");
    EXPECT_EQ(lines[1], "00P");
    EXPECT_EQ(lines[2 + fields], lines[2]); // the data lines again
    EXPECT_FALSE(has_line(lines, ""));

    sim.clear_faults();
    lines_within(*host, 100);
    EXPECT_TRUE(lines_within(*host, 100).empty());
}

TEST_F(Sensor_faults, ignore_stop_leaves_the_measurement_running_whatever_the_prefix)
{
    sim.set_pacing(Pacing::fast);
    sim.set_fault_command("%AH");
    sim.set_fault(Fault::ignore_stop);
    EXPECT_EQ(ask("MD0044004801000").at(1), "00P");
    ASSERT_TRUE(host->send("QT\n"));
    const Lines lines = lines_within(*host, 200);
    EXPECT_FALSE(has_line(lines, "QT"));
    EXPECT_TRUE(has_line(lines, "MD0044004801000")); // scans keep coming
    EXPECT_TRUE(sim.laser_on());
}

TEST_F(Sensor_faults, hostile_texts_fill_every_version_and_status_field_and_the_status)
{
    sim.set_fault(Fault::hostile_text);
    for (const char* query : {"VV", "II"}) {
        const Lines r = ask(query);
        ASSERT_GE(r.size(), 7u) << query;
        EXPECT_EQ(r[1], "00P");
        for (size_t i = 2; i < r.size(); ++i) {
            const std::string body = r[i].substr(0, r[i].find(':') + 1) + hostile_text();
            EXPECT_EQ(r[i], body + ";" + checksum(body));
        }
    }
    EXPECT_EQ(ask("PP").at(2), "MODL:VYR-SIM01;" + std::string(1, checksum("MODL:VYR-SIM01")));
    EXPECT_EQ(hostile_text().find(';'), std::string::npos);

    sim.clear_faults();
    sim.set_fault(Fault::hostile_status);
    EXPECT_EQ(ask("%AH1"), (Lines{"%AH1", with_checksum(hostile_status())}));
}
