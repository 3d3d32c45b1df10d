// The decoding step alone: one stretch of a reply's characters into the arrays.

#include "scan_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Decoding_case
{
    const char* name;
    bool with_intensity;
    int echo_slots;
    int last_step;
    const char* text;
    int used;  // or -1
    int steps; // cursor.step afterwards
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
};

const long unset = -7;

// "0" is 0 and "o" is 63, so "01o" is 64 + 63.
const Decoding_case cases[] = {
    {"single_echo_values", false, 1, 9, "00101o", 6, 2, {1, 127}, {}},
    {"value_cut_off_stays", false, 1, 9, "00100", 3, 1, {1, unset}, {}},
    {"marker_without_its_value_stays", false, 3, 9, "001&00", 3, 1, {1, 0, 0}, {}},
    {"further_echoes_fill_the_slots", false, 3, 9, "001&002&003004", 14, 2, {1, 2, 3, 4, 0, 0}, {}},
    {"fourth_echo_is_skipped", false, 3, 9, "001&002&003&004005", 18, 2, {1, 2, 3, 5, 0, 0}, {}},
    {"echo_before_any_step_is_skipped", false, 3, 9, "&001002", 7, 1, {2, 0, 0}, {}},
    {"echo_of_a_single_echo_kind_is_skipped", false, 1, 9, "001&002003", 10, 2, {1, 3}, {}},
    {"intensity_follows_its_distance", true, 3, 9, "001002&003004", 13, 1, {1, 3, 0}, {2, 4, 0}},
    {"steps_beyond_the_announced_fail", false, 1, 0, "001002", -1, 1, {1, unset}, {}},
    {"highest_characters_decode", true, 1, 9, "ooooooo", 6, 1, {262143}, {0xffff}},
};

class Scan_decoding : public ::testing::TestWithParam<Decoding_case>
{
};

TEST_P(Scan_decoding, decodes_the_front_of_the_text)
{
    const Decoding_case& c = GetParam();
    std::vector<long> distance(c.distance.size(), unset);
    std::vector<unsigned short> intensity(c.intensity.size(), 0x5555);
    const Scan_layout layout{distance.data(), c.with_intensity ? intensity.data() : nullptr,
                             c.with_intensity, c.echo_slots, c.last_step};
    Scan_cursor cursor;
    const std::string text = c.text;
    EXPECT_EQ(decode_scan_values(layout, cursor, text.data(), static_cast<int>(text.size())),
              c.used);
    EXPECT_EQ(cursor.step, c.steps);
    EXPECT_EQ(distance, c.distance);
    EXPECT_EQ(intensity, c.intensity);
}

INSTANTIATE_TEST_SUITE_P(Cases, Scan_decoding, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Decoding_case>& test_info) {
                             return std::string(test_info.param.name);
                         });

TEST(Scan_decoding_without_arrays, reads_the_steps_and_writes_nothing)
{
    const Scan_layout layout{nullptr, nullptr, true, 3, 9};
    Scan_cursor cursor;
    EXPECT_EQ(decode_scan_values(layout, cursor, "001002&003004005006", 19), 19);
    EXPECT_EQ(cursor.step, 2);
    EXPECT_EQ(cursor.echo, 0);
}

TEST(Scan_decoding_across_stretches, the_cursor_carries_the_step_and_echo_on)
{
    std::vector<long> distance(6, unset);
    const Scan_layout layout{distance.data(), nullptr, false, 3, 1};
    Scan_cursor cursor;
    EXPECT_EQ(decode_scan_values(layout, cursor, "001&002", 7), 7);
    EXPECT_EQ(decode_scan_values(layout, cursor, "&003004", 7), 7);
    EXPECT_EQ(distance, (std::vector<long>{1, 2, 3, 4, 0, 0}));
}

} // namespace
