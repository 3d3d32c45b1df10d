#include "tcp_sensor_test.h"

#include <chrono>

using namespace vyr_sim;

namespace {

// A host-side decoder of its own: checks each line's checksum, joins the data
// and splits it into steps, '&' marking a further echo of the previous step.
struct Decoded_scan
{
    bool checksums_ok = true;
    size_t longest_line = 0;
    long time_stamp = -1;
    std::vector<std::vector<std::pair<long, long>>> steps; // per step: echoes (distance, intensity)
};

bool line_sum_ok(const std::string& line)
{
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < line.size(); ++i)
        sum += static_cast<unsigned char>(line[i]);
    return !line.empty() && line.back() == static_cast<char>('0' + (sum & 0x3f));
}

long decode(const std::string& chars)
{
    long v = 0;
    for (char c : chars)
        v = (v << 6) | (c - '0');
    return v;
}

Decoded_scan decode_scan(const Lines& reply, bool intensity)
{
    Decoded_scan scan;
    std::string stream;
    for (size_t i = 2; i < reply.size(); ++i) {
        scan.checksums_ok = scan.checksums_ok && line_sum_ok(reply[i]);
        scan.longest_line = std::max(scan.longest_line, reply[i].size());
        if (i == 2)
            scan.time_stamp = decode(reply[i].substr(0, 4));
        else
            stream += reply[i].substr(0, reply[i].size() - 1);
    }
    const size_t unit = intensity ? 6 : 3;
    for (size_t pos = 0; pos + unit <= stream.size();) {
        bool further = stream[pos] == '&';
        pos += further ? 1 : 0;
        std::pair<long, long> echo{decode(stream.substr(pos, 3)),
                                   intensity ? decode(stream.substr(pos + 3, 3)) : -1};
        if (further && !scan.steps.empty())
            scan.steps.back().push_back(echo);
        else
            scan.steps.push_back({echo});
        pos += unit;
    }
    return scan;
}

// Compares a decoded scan with the simulator's values for steps first, first+group, ...
void expect_values(const Decoded_scan& scan, int first, int group, int scan_index, bool multi,
                   bool intensity)
{
    EXPECT_TRUE(scan.checksums_ok);
    for (size_t k = 0; k < scan.steps.size(); ++k) {
        const int step = first + static_cast<int>(k) * group;
        const auto& echoes = scan.steps[k];
        ASSERT_EQ(echoes.size(), multi ? size_t(sim_echo_count(step, scan_index)) : 1u)
            << "step " << step;
        for (size_t e = 0; e < echoes.size(); ++e) {
            EXPECT_EQ(echoes[e].first, sim_distance(step, scan_index, int(e))) << step;
            if (intensity) {
                EXPECT_EQ(echoes[e].second, sim_intensity(step, scan_index, int(e))) << step;
            }
        }
    }
}

} // namespace

using Sensor_scans = Tcp_sensor;

TEST_F(Sensor_scans, single_distance_scan_decodes_to_the_simulated_values)
{
    ask("BM");
    Lines r = ask("GD0044072501");
    ASSERT_TRUE(host->complete());
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[0], "GD0044072501");
    EXPECT_EQ(r[1], "00P");
    Decoded_scan scan = decode_scan(r, false);
    EXPECT_LE(scan.longest_line, 65u);
    EXPECT_GE(scan.time_stamp, 0);
    ASSERT_EQ(scan.steps.size(), 682u);
    expect_values(scan, 44, 1, 0, false, false);
}

TEST_F(Sensor_scans, grouped_multiecho_scan_with_intensities)
{
    ask("BM");
    Lines r = ask("HE0100013003");
    ASSERT_EQ(r.at(1), "00P");
    Decoded_scan scan = decode_scan(r, true);
    ASSERT_EQ(scan.steps.size(), 11u); // 100, 103, ... 130
    expect_values(scan, 100, 3, 0, true, true);
}

TEST_F(Sensor_scans, single_scan_needs_the_laser_and_a_valid_range)
{
    EXPECT_NE(ask("GD0044072501").at(1), "00P");
    ask("BM");
    EXPECT_NE(ask("GD0044099901").at(1), "00P"); // beyond AMAX
    EXPECT_NE(ask("GD0200010001").at(1), "00P"); // first after last
    EXPECT_NE(ask("GX0044072501").at(1), "00P");
}

TEST_F(Sensor_scans, counted_continuous_scans_skip_and_stop)
{
    sim.set_pacing(Pacing::fast);
    EXPECT_EQ(ask("ND0044005001103"), (Lines{"ND0044005001103", "00P"}));
    for (int i = 0; i < 3; ++i) {
        Lines r = host->reply();
        ASSERT_TRUE(host->complete());
        ASSERT_GE(r.size(), 3u);
        EXPECT_EQ(r[0].substr(0, 13), "ND00440050011");
        EXPECT_EQ(r[1], "99b");
        // Skip 1: the transmitted scans are the sensor's scans 0, 2, 4.
        expect_values(decode_scan(r, false), 44, 1, 2 * i, true, false);
    }
    EXPECT_EQ(host->drain(300), "");
    EXPECT_FALSE(sim.laser_on());
}

TEST_F(Sensor_scans, endless_scans_run_at_the_scan_rate_until_stopped)
{
    sim.set_scans_per_minute(1200); // 50 ms a scan
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask("MD0044004801000").at(1), "00P");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(host->reply().at(1), "99b");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(190));
    EXPECT_TRUE(sim.laser_on());

    ASSERT_TRUE(host->send("QT\n"));
    // Scans already on their way may come first.
    Lines r;
    for (int i = 0; i < 5 && (r = host->reply()).at(0) != "QT"; ++i) {
    }
    EXPECT_EQ(r, (Lines{"QT", "00P"}));
    EXPECT_EQ(host->drain(200), "");
    EXPECT_FALSE(sim.laser_on());
}

// A recording served in place of the simulated values: its values, missing echoes
// left out, its time stamps, its pace, and a range that starts a group further in.
TEST_F(Sensor_scans, replayed_scans_keep_their_values_stamps_and_pace)
{
    auto replay = std::make_shared<Replay>();
    replay->multiecho = replay->intensity = true;
    replay->first = 100;
    replay->last = 104;
    replay->group = 2;
    replay->time_stamps = {1000, 1250, 1300};
    replay->loop_gap_ms = 20;
    replay->read = [](long index, Replay_scan& scan) {
        scan.time_stamp = 1000 + (index == 1 ? 250 : index == 2 ? 300 : 0);
        scan.echo_slots = 3;
        scan.distance = {10 + index, 11, 0, 20, 0, 0, 30, 31, 262143};
        scan.intensity = {1, 2, 0, 3, 0, 0, 4, 5, 65535};
        return true;
    };
    sim.set_replay(replay);
    // Paces from the request on: a host slow to take a scan only makes later ones look early.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(ask("NE0100010402004").at(1), "00P");
    std::vector<std::chrono::steady_clock::time_point> arrived;
    const long stamps[] = {1000, 1250, 1300, 1000};
    for (int i = 0; i < 4; ++i) {
        const Lines r = host->reply();
        arrived.push_back(std::chrono::steady_clock::now());
        ASSERT_EQ(r.at(1), "99b");
        const Decoded_scan scan = decode_scan(r, true);
        EXPECT_TRUE(scan.checksums_ok);
        EXPECT_EQ(scan.time_stamp, stamps[i]);
        const long first = 10 + i % 3;
        using Echoes = std::vector<std::pair<long, long>>;
        EXPECT_EQ(scan.steps, (std::vector<Echoes>{
                                  {{first, 1}, {11, 2}}, {{20, 3}}, {{30, 4}, {31, 5}, {262143, 65535}}}));
    }
    EXPECT_GE(arrived[1] - asked, std::chrono::milliseconds(250));
    // 50 ms after the second, not another 250.
    EXPECT_LT(arrived[2] - asked, std::chrono::milliseconds(500));

    sim.set_pacing(Pacing::fast);
    EXPECT_EQ(ask("NE0102010402001").at(1), "00P");
    const Decoded_scan sliced = decode_scan(host->reply(), true);
    ASSERT_EQ(sliced.steps.size(), 2u);
    EXPECT_EQ(sliced.steps[0].at(0).first, 20);
    EXPECT_EQ(ask("NE0101010402001").at(1).substr(0, 2), "04"); // between two recorded groups
    EXPECT_EQ(ask("ND0100010402001").at(1).substr(0, 2), "01");
    EXPECT_EQ(ask("NE0100010401001").at(1).substr(0, 2), "03");
}
