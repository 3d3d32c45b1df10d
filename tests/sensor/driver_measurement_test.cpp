// The driver's measurement, time-stamp, conversion and text operations against
// the simulated sensor. Its vectors are sized exactly, so a write past the data
// the sensor announced shows up under the address sanitizer.

#include "scan_expectations.h"
#include "sensor_information.h"
#include "sim_sensor_test.h"
#include "ticks.h"
#include "vyr_driver.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using kvt::Lidar;

class Driver_measurement_test : public ::testing::Test
{
protected:
    void SetUp() override { start_simulator(sim); }

    void open_driver()
    {
        ASSERT_TRUE(driver.open("127.0.0.1", sim.tcp_port(), Lidar::Ethernet))
            << driver.last_error_text();
        sim.clear_received();
    }

    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    std::vector<long> distance;
    std::vector<unsigned short> intensity;
};

TEST_F(Driver_measurement_test, a_read_fills_both_vectors_with_the_scan)
{
    open_driver();
    const Scan_range full{0, area_max, 1};
    ASSERT_TRUE(driver.start_scans(Lidar::Range_intensity, 1, 0));
    ASSERT_TRUE(driver.read_distance_intensity(distance, intensity, nullptr));
    ASSERT_EQ(distance.size(), size_t(full.steps()));
    ASSERT_EQ(intensity.size(), size_t(full.steps()));
    expect_scan_values(VYR_DISTANCE_INTENSITY, full, 0, distance.data(), intensity.data(),
                       full.steps());
}

TEST_F(Driver_measurement_test, a_multiecho_read_sizes_the_vector_by_the_steps_received)
{
    open_driver();
    ASSERT_TRUE(driver.set_scan_range(-area_front, 140, 1));
    ASSERT_TRUE(driver.start_scans(Lidar::Multi_echo, 2, 0));
    for (int scan = 0; scan < 2; ++scan) {
        ASSERT_TRUE(driver.read_multiecho(distance, nullptr)) << driver.last_error_text();
        EXPECT_EQ(distance.size(), 2043u);
        expect_scan_values(VYR_MULTIECHO, Scan_range{0, 680, 1}, scan, distance.data(), nullptr,
                           681);
    }
}

TEST_F(Driver_measurement_test, a_read_of_another_type_than_started_reads_nothing)
{
    open_driver();
    ASSERT_TRUE(driver.start_scans(Lidar::Range_intensity, 1, 0));
    distance.assign(5, 9);
    EXPECT_FALSE(driver.read_distance(distance, nullptr));
    EXPECT_STREQ(driver.last_error_text(), "measurement type mismatch.");
    EXPECT_EQ(distance, std::vector<long>(5, 9));
    EXPECT_FALSE(driver.read_multiecho_intensity(distance, intensity, nullptr));

    // The type stays that of the last successful start.
    EXPECT_FALSE(driver.start_scans(static_cast<Lidar::measurement_type>(4), 1, 0));
    EXPECT_TRUE(driver.read_distance_intensity(distance, intensity, nullptr));
    EXPECT_EQ(command_texts(sim).size(), 2u);
}

// A scan without steps after a full one must not repeat the full one's values.
TEST_F(Driver_measurement_test, a_scan_without_steps_leaves_the_vectors_empty)
{
    open_driver();
    ASSERT_TRUE(driver.start_scans(Lidar::Multi_echo_intensity, 1, 0));
    ASSERT_TRUE(driver.read_multiecho_intensity(distance, intensity, nullptr));
    ASSERT_FALSE(distance.empty());
    sim.set_fault(vyr_sim::Fault::no_steps);
    ASSERT_TRUE(driver.start_scans(Lidar::Multi_echo_intensity, 1, 0));
    EXPECT_TRUE(driver.read_multiecho_intensity(distance, intensity, nullptr));
    EXPECT_TRUE(distance.empty());
    EXPECT_TRUE(intensity.empty());
}

TEST_F(Driver_measurement_test, an_oversized_announcement_stays_inside_the_vectors)
{
    open_driver();
    sim.set_fault(vyr_sim::Fault::huge_range);
    ASSERT_TRUE(driver.start_scans(Lidar::Multi_echo_intensity, 1, 0));
    EXPECT_FALSE(driver.read_multiecho_intensity(distance, intensity, nullptr));
    EXPECT_STREQ(driver.last_error_text(), "receive error.");
    EXPECT_EQ(distance.size(), size_t(3 * (area_max + 1)));
}

TEST_F(Driver_measurement_test, a_closed_driver_fails_its_reads_without_resizing)
{
    EXPECT_EQ(driver.max_data_count(), -2);
    EXPECT_FALSE(driver.read_distance(distance, nullptr));
    EXPECT_TRUE(distance.empty());
    EXPECT_STREQ(driver.last_error_text(), "not connected.");
    EXPECT_FALSE(driver.laser_on());
    EXPECT_FALSE(driver.start_scans(Lidar::Range, 1, 0));
    EXPECT_EQ(driver.min_step(), 1);
    EXPECT_EQ(driver.max_step(), 0);
}

TEST_F(Driver_measurement_test, product_firmware_and_serial_are_cached_until_the_next_open)
{
    sim.set_version_field("PROD", "VYR-A");
    EXPECT_STREQ(driver.product(), "not connected.");
    open_driver();
    EXPECT_STREQ(driver.product(), "VYR-A");
    EXPECT_STREQ(driver.firmware_version(), driver.firmware_version());
    EXPECT_STREQ(driver.serial_number(), driver.serial_number());
    EXPECT_EQ(command_texts(sim), (std::vector<std::string>{"VV", "VV", "VV"}));

    sim.set_version_field("PROD", "VYR-B");
    driver.close();
    EXPECT_STREQ(driver.product(), "VYR-A");
    open_driver();
    EXPECT_STREQ(driver.product(), "VYR-B");
}

TEST_F(Driver_measurement_test, the_status_is_asked_every_time)
{
    open_driver();
    sim.set_info_field("STAT", "Stable 000 no error.");
    EXPECT_TRUE(driver.is_stable());
    sim.set_info_field("STAT", "Unstable");
    EXPECT_STREQ(driver.sensor_status(), "Unstable");
    EXPECT_EQ(command_texts(sim), (std::vector<std::string>{"II", "II"}));
}

// One look asks "VV" and "II" once each and ends at the first text it did not get.
struct Information_case
{
    const char* name;
    void (*setup)(vyr_sim::Simulator&);
    kvt::Sensor_information::Part failed;
    std::vector<std::string> commands;
    const char* error_text;
    const char* detail; // in the error detail; "" for none
};

void plain(vyr_sim::Simulator&) {}
void silent_vv(vyr_sim::Simulator& sim)
{
    sim.set_fault_command("VV");
    sim.set_fault(vyr_sim::Fault::no_answer);
}
void silent_ii(vyr_sim::Simulator& sim)
{
    sim.set_fault_command("II");
    sim.set_fault(vyr_sim::Fault::no_answer);
}
void firmware_without_end(vyr_sim::Simulator& sim)
{
    sim.set_version_field("FIRM", "2.0");
}
void state_without_end(vyr_sim::Simulator& sim)
{
    sim.set_info_field("MESM", "Idle");
}

using Part = kvt::Sensor_information::Part;
const Information_case information_cases[] = {
    {"all_read", plain, Part::None, {"VV", "II"}, "", ""},
    {"silent_vv", silent_vv, Part::Product, {"VV"}, "receive error.", "no answer to \"VV\""},
    {"firmware_missing",
     firmware_without_end,
     Part::Firmware_version,
     {"VV"},
     "receive error.",
     ""},
    {"silent_ii",
     silent_ii,
     Part::Sensor_status,
     {"VV", "II"},
     "receive error.",
     "no answer to \"II\""},
    {"state_missing",
     state_without_end,
     Part::Measurement_state,
     {"VV", "II"},
     "receive error.",
     ""},
};

class Information_read_test : public Driver_measurement_test,
                              public ::testing::WithParamInterface<Information_case>
{
};

TEST_P(Information_read_test, asks_each_command_once_and_stops_at_the_first_failure)
{
    const Information_case& c = GetParam();
    sim.set_info_field("STAT", "Stable 000 no error.");
    open_driver();
    c.setup(sim);
    const kvt::Sensor_information info = kvt::read_sensor_information(driver);
    EXPECT_EQ(command_texts(sim), c.commands);
    EXPECT_EQ(info.failed, c.failed);
    EXPECT_EQ(info.error_text, c.error_text);
    EXPECT_EQ(info.error == kvt::Error::none, *c.error_text == '\0');
    EXPECT_EQ(info.error != kvt::Error::none ? kvt::error_text(info.error) : "", info.error_text);
    EXPECT_NE(info.error_detail.find(c.detail), std::string::npos) << info.error_detail;
    EXPECT_EQ(info.error_detail.empty(), *c.detail == '\0') << info.error_detail;
    EXPECT_EQ(info.product, info.has(Part::Product) ? "VYR-SIM01" : "");
    EXPECT_EQ(info.firmware_version, info.has(Part::Firmware_version) ? "1.2.3" : "");
    EXPECT_EQ(info.measurement_state, info.has(Part::Measurement_state) ? "Idle" : "");
    EXPECT_EQ(info.stable, info.has(Part::Sensor_status));
    // The limits come from the open, whatever the look brought.
    EXPECT_EQ(info.min_step, driver.min_step());
    EXPECT_EQ(info.max_step, driver.max_step());
    EXPECT_DOUBLE_EQ(info.max_step_deg, driver.step_to_deg(driver.max_step()));
    EXPECT_EQ(info.max_distance, driver.max_distance());
    EXPECT_EQ(info.scan_period_usec, driver.scan_period_usec());
    EXPECT_EQ(info.steps_per_scan, driver.max_step() - driver.min_step() + 1);

    // The version texts it got are the driver's for the rest of the connection.
    sim.clear_faults();
    sim.clear_received();
    driver.product();
    EXPECT_EQ(command_texts(sim).size(), info.has(Part::Product) ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Driver, Information_read_test, ::testing::ValuesIn(information_cases),
                         [](const ::testing::TestParamInfo<Information_case>& test_info) {
                             return test_info.param.name;
                         });

TEST_F(Driver_measurement_test, a_look_at_a_closed_driver_asks_nothing)
{
    const kvt::Sensor_information info = kvt::read_sensor_information(driver);
    EXPECT_EQ(info.failed, Part::Product);
    EXPECT_EQ(info.error_text, "not connected.");
    EXPECT_EQ(info.error, kvt::Error::not_connected);
    EXPECT_EQ(info.steps_per_scan, 0);
    EXPECT_TRUE(sim.received().empty());
}

class Driver_time_stamp_test : public Driver_measurement_test
{
protected:
    long read_stamp()
    {
        long stamp = -1;
        EXPECT_TRUE(driver.start_scans(Lidar::Range, 1, 0));
        EXPECT_TRUE(driver.read_distance(distance, &stamp));
        return stamp;
    }
};

TEST_F(Driver_time_stamp_test, after_synchronising_at_zero_stamps_count_from_then)
{
    open_driver();
    // Let the sensor's clock run ahead, so that its own stamps would be too large.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const int32_t start = vyr_ticks();
    ASSERT_TRUE(driver.sync_time_stamp(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long stamp = read_stamp();
    const long elapsed = vyr_ticks() - start;
    EXPECT_GE(stamp, 180);
    EXPECT_LE(stamp, elapsed + 20);
    EXPECT_FALSE(sim.time_adjust_mode());
}

TEST_F(Driver_time_stamp_test, a_failed_time_read_keeps_the_previous_offset)
{
    open_driver();
    ASSERT_TRUE(driver.sync_time_stamp(1000000));
    sim.set_fault_command("TM1");
    sim.set_fault(vyr_sim::Fault::status_checksum);
    EXPECT_FALSE(driver.sync_time_stamp(0));
    EXPECT_FALSE(sim.time_adjust_mode());
    sim.clear_faults();
    const long stamp = read_stamp();
    EXPECT_GE(stamp, 1000000);
    EXPECT_LT(stamp, 1010000);
}

} // namespace
