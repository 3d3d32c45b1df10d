// Measurement requests and scan decoding against the simulated sensor.

#include "scan_expectations.h"
#include "sim_sensor_test.h"
#include "vyr_information.h"
#include "vyr_measurement.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>

namespace {

// The request letters on the wire by engine type: one scan, a series, the data.
struct Request_letters
{
    char single, continuous, data;
};
const Request_letters letters[] = {
    {'G', 'M', 'D'}, {'G', 'M', 'E'}, {'H', 'N', 'D'}, {'H', 'N', 'E'}};

std::string request(char kind, int type, const Scan_range& range, const char* tail = "")
{
    char text[32];
    std::snprintf(text, sizeof text, "%c%c%04d%04d%02d%s", kind, letters[type].data, range.first,
                  range.last, range.group, tail);
    return text;
}

class Scan_type_test : public Sim_sensor_test, public ::testing::WithParamInterface<int>
{
};

TEST_P(Scan_type_test, single_scan_of_the_full_range_decodes_the_sensor_data)
{
    const int type = GetParam();
    open_sensor();
    const Scan_range full{0, area_max, 1};
    Scan_buffers buffers(full.steps());

    ASSERT_EQ(vyr_start_scans(&sensor, type, 1, 0), 0);
    long stamp = -1;
    const int count = read_scan_of_type(&sensor, type, buffers, &stamp);

    const char single = letters[type].single;
    EXPECT_EQ(commands(), (std::vector<std::string>{"BM", request(single, type, full)}));
    expect_scan_values(type, full, 0, buffers.distance(),
                       has_intensity(type) ? buffers.intensity() : nullptr, count);
    EXPECT_TRUE(buffers.guards_intact());
    EXPECT_GE(stamp, 0);
    EXPECT_EQ(sensor.received_first_step, 0);
    EXPECT_EQ(sensor.received_last_step, area_max);
}

TEST_P(Scan_type_test, counted_continuous_scans_of_a_grouped_range_stop_after_the_last)
{
    const int type = GetParam();
    open_sensor();
    ASSERT_EQ(vyr_set_scan_range(&sensor, -100, 101, 3), 0);
    const Scan_range range{area_front - 100, area_front + 101, 3};
    const char continuous = letters[type].continuous;

    ASSERT_EQ(vyr_start_scans(&sensor, type, 3, 0), 0);
    for (int scan = 0; scan < 3; ++scan) {
        Scan_buffers buffers(range.steps());
        const int count = read_scan_of_type(&sensor, type, buffers, nullptr);
        expect_scan_values(type, range, scan, buffers.distance(),
                           has_intensity(type) ? buffers.intensity() : nullptr, count);
        EXPECT_TRUE(buffers.guards_intact());
    }

    // The engine itself stops the sensor after the third scan.
    EXPECT_EQ(commands(),
              (std::vector<std::string>{request(continuous, type, range, "003"), "QT"}));
    EXPECT_EQ(sensor.data_pending, 0);
    EXPECT_EQ(sensor.scans_remaining, 0);
}

INSTANTIATE_TEST_SUITE_P(all_types, Scan_type_test,
                         ::testing::Values(VYR_DISTANCE, VYR_DISTANCE_INTENSITY, VYR_MULTIECHO,
                                           VYR_MULTIECHO_INTENSITY));

using Measurement_test = Sim_sensor_test;

TEST_F(Measurement_test, values_and_echo_markers_split_across_lines_decode_whole)
{
    // Data lines carry at most 64 characters; make sure this scan really puts
    // an '&' last on a line and a value across a line end.
    const Scan_range full{0, area_max, 1};
    const std::string stream = encoded_scan_stream(VYR_MULTIECHO_INTENSITY, full, 0);
    bool ampersand_at_line_end = false;
    for (size_t end = 63; end < stream.size(); end += 64) {
        ampersand_at_line_end = ampersand_at_line_end || stream[end] == '&';
    }
    ASSERT_TRUE(ampersand_at_line_end);
    ASSERT_NE(stream.size() % 64, 0u);

    open_sensor();
    Scan_buffers buffers(full.steps());
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_MULTIECHO_INTENSITY, 1, 0), 0);
    const int count =
        vyr_read_multiecho_intensity(&sensor, buffers.distance(), buffers.intensity(), nullptr);
    expect_scan_values(VYR_MULTIECHO_INTENSITY, full, 0, buffers.distance(), buffers.intensity(),
                       count);
}

TEST_F(Measurement_test, scan_counts_zero_and_above_99_request_endless_output)
{
    sim.set_pacing(vyr_sim::Pacing::scan_rate);
    sim.set_scans_per_minute(2400);
    open_sensor();
    const Scan_range full{0, area_max, 1};
    for (int scan_count : {0, 100}) {
        sim.clear_received();
        ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, scan_count, 2), 0);
        EXPECT_EQ(sensor.scan_count_requested, 0);
        EXPECT_EQ(sensor.data_pending, 1);
        Scan_buffers buffers(full.steps());
        EXPECT_EQ(vyr_read_distance(&sensor, buffers.distance(), nullptr), full.steps());
        EXPECT_EQ(vyr_stop_scans(&sensor), 0);
        EXPECT_EQ(commands(),
                  (std::vector<std::string>{request('M', VYR_DISTANCE, full, "200"), "QT"}));
        EXPECT_EQ(sensor.data_pending, 0);
    }
}

TEST_F(Measurement_test, bad_request_parameters_send_nothing)
{
    open_sensor();
    EXPECT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 1, 10), VYR_INVALID_PARAMETER);
    EXPECT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 1, -1), VYR_INVALID_PARAMETER);
    EXPECT_EQ(vyr_start_scans(&sensor, 4, 1, 0), VYR_INVALID_PARAMETER);
    EXPECT_EQ(sensor.last_error, VYR_INVALID_PARAMETER);

    const int first = sensor.first_step;
    const int last = sensor.last_step;
    EXPECT_EQ(vyr_set_scan_range(&sensor, -area_front - 1, 0, 1), VYR_SCANNING_PARAMETER_ERROR);
    EXPECT_EQ(vyr_set_scan_range(&sensor, 0, area_max - area_front + 1, 1),
              VYR_SCANNING_PARAMETER_ERROR);
    EXPECT_EQ(vyr_set_scan_range(&sensor, 10, 9, 1), VYR_SCANNING_PARAMETER_ERROR);
    EXPECT_EQ(vyr_set_scan_range(&sensor, 0, 10, 100), VYR_SCANNING_PARAMETER_ERROR);
    EXPECT_EQ(sensor.first_step, first);
    EXPECT_EQ(sensor.last_step, last);

    EXPECT_FALSE(sim.wait_for_received(1, 200));
}

TEST_F(Measurement_test, laser_on_is_sent_once_and_stop_switches_it_off)
{
    open_sensor();
    EXPECT_EQ(vyr_laser_on(&sensor), 0);
    EXPECT_EQ(vyr_laser_on(&sensor), 0);
    EXPECT_TRUE(sim.laser_on());
    EXPECT_EQ(vyr_laser_off(&sensor), 0);
    EXPECT_EQ(sensor.laser_is_on, 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"BM", "QT"}));
}

// A series read a little late has scans queued when it is stopped: the stop
// reads past them to its own reply, and the link is in step afterwards.
TEST_F(Measurement_test, stop_after_late_reads_reaches_the_stop_reply)
{
    sim.set_pacing(vyr_sim::Pacing::scan_rate);
    sim.set_scans_per_minute(2400);
    open_sensor();
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 0, 0), 0);
    Scan_buffers buffers(area_max + 1);
    for (int scan = 0; scan < 3; ++scan) {
        ASSERT_GT(vyr_read_distance(&sensor, buffers.distance(), nullptr), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(75)); // three scans queued
    EXPECT_EQ(vyr_stop_scans(&sensor), 0);
    EXPECT_EQ(sensor.last_error, VYR_NO_ERROR);
    EXPECT_EQ(sensor.laser_is_on, 0);
    EXPECT_EQ(sensor.data_pending, 0);
    EXPECT_FALSE(sim.laser_on());
    sim.clear_received();
    EXPECT_EQ(vyr_is_stable(&sensor), 1) << sensor.last_error;
    EXPECT_EQ(vyr_laser_on(&sensor), 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"II", "BM"}));
}

TEST_F(Measurement_test, stop_without_its_reply_fails_and_keeps_the_measurement_state)
{
    open_sensor();
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 0, 0), 0);
    sim.set_fault_command("QT");
    sim.set_fault(vyr_sim::Fault::no_answer);
    // The sensor goes on sending scans; the stop gives up after its line bound.
    EXPECT_EQ(vyr_stop_scans(&sensor), VYR_INVALID_RESPONSE);
    EXPECT_EQ(sensor.data_pending, 1);
    EXPECT_NE(sensor.last_error, VYR_NO_ERROR);
}

// A scan that stops before its empty line is no scan.
TEST_F(Measurement_test, a_scan_cut_short_fails)
{
    open_sensor();
    sim.set_fault_command("GD");
    sim.set_fault(vyr_sim::Fault::close_after_status);
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 1, 0), 0);
    Scan_buffers buffers(area_max + 1);
    EXPECT_EQ(vyr_read_distance(&sensor, buffers.distance(), nullptr), VYR_NO_RESPONSE);
    EXPECT_EQ(sensor.last_error, VYR_NO_RESPONSE);
}

// Faults a device may send.

TEST_F(Measurement_test, a_bad_data_checksum_fails_and_stops_pending_output)
{
    sim.set_pacing(vyr_sim::Pacing::scan_rate);
    sim.set_scans_per_minute(2400);
    open_sensor();
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 0, 0), 0);
    sim.set_fault(vyr_sim::Fault::data_checksum);
    Scan_buffers buffers(area_max + 1);
    int result = 0;
    // The first scans may have left before the fault was set.
    for (int tries = 0; tries < 5 && result >= 0; ++tries) {
        result = vyr_read_distance(&sensor, buffers.distance(), nullptr);
    }
    EXPECT_EQ(result, VYR_CHECKSUM_ERROR);
    EXPECT_EQ(sensor.last_error, VYR_CHECKSUM_ERROR);
    EXPECT_EQ(commands().back(), "QT");
    EXPECT_EQ(sensor.data_pending, 0);
}

TEST_F(Measurement_test, an_echo_announcing_a_range_beyond_the_sensor_is_rejected)
{
    open_sensor();
    sim.set_fault(vyr_sim::Fault::huge_range);
    Scan_buffers buffers(area_max + 1);
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_MULTIECHO_INTENSITY, 1, 0), 0);
    EXPECT_EQ(
        vyr_read_multiecho_intensity(&sensor, buffers.distance(), buffers.intensity(), nullptr),
        VYR_RECEIVE_ERROR);
    EXPECT_TRUE(buffers.untouched());
}

TEST_F(Measurement_test, more_steps_than_announced_are_rejected_inside_the_arrays)
{
    open_sensor();
    sim.set_fault(vyr_sim::Fault::short_echo_range);
    Scan_buffers buffers(area_max + 1);
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_MULTIECHO, 1, 0), 0);
    EXPECT_EQ(vyr_read_multiecho(&sensor, buffers.distance(), nullptr), VYR_RECEIVE_ERROR);
    EXPECT_TRUE(buffers.guards_intact());
}

TEST_F(Measurement_test, a_leading_echo_marker_is_ignored)
{
    open_sensor();
    sim.set_fault(vyr_sim::Fault::leading_ampersand);
    const Scan_range full{0, area_max, 1};
    for (int type : {VYR_DISTANCE, VYR_MULTIECHO_INTENSITY}) {
        Scan_buffers buffers(full.steps());
        ASSERT_EQ(vyr_start_scans(&sensor, type, 1, 0), 0);
        const int count = read_scan_of_type(&sensor, type, buffers, nullptr);
        EXPECT_TRUE(buffers.guards_intact());
        expect_scan_values(type, full, 0, buffers.distance(),
                           has_intensity(type) ? buffers.intensity() : nullptr, count);
    }
}

TEST_F(Measurement_test, a_scan_without_steps_stores_nothing)
{
    open_sensor();
    sim.set_fault(vyr_sim::Fault::no_steps);
    Scan_buffers buffers(area_max + 1);
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE_INTENSITY, 1, 0), 0);
    long stamp = -1;
    EXPECT_EQ(vyr_read_distance_intensity(&sensor, buffers.distance(), buffers.intensity(), &stamp),
              0);
    EXPECT_TRUE(buffers.untouched());
    EXPECT_GE(stamp, 0);
}

} // namespace
