// Information queries, time-adjust mode, sleep and wake against the simulated sensor.

#include "sim_sensor_test.h"
#include "vyr_information.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

using Information_test = Sim_sensor_test;

TEST_F(Information_test, text_values_end_at_their_terminators)
{
    sim.set_version_field("PROD", "VYR-TEST (sim)");
    sim.set_version_field("SERI", "H1234567");
    sim.set_version_field("FIRM", "1.2.3 (Dec  8 2026)");
    sim.set_info_field("MESM", "Measuring by Sensitive Mode");
    open_sensor();

    EXPECT_STREQ(vyr_product(&sensor), "VYR-TEST (sim)");
    EXPECT_STREQ(vyr_serial_number(&sensor), "H1234567");
    EXPECT_STREQ(vyr_firmware_version(&sensor), "1.2.3");
    EXPECT_STREQ(vyr_measurement_state(&sensor), "Measuring");
    EXPECT_EQ(commands(), (std::vector<std::string>{"VV", "VV", "VV", "II"}));

    // The same values from one reply each.
    sim.clear_received();
    vyr_info_value product, firmware, serial, status, state;
    EXPECT_EQ(vyr_read_version(&sensor, &product, &firmware, &serial), nullptr);
    EXPECT_EQ(vyr_read_state(&sensor, &status, &state), nullptr);
    EXPECT_STREQ(product.text, "VYR-TEST (sim)");
    EXPECT_STREQ(serial.text, "H1234567");
    EXPECT_STREQ(firmware.text, "1.2.3");
    EXPECT_STREQ(state.text, "Measuring");
    EXPECT_EQ(product.found + firmware.found + serial.found + status.found + state.found, 5);
    EXPECT_EQ(commands(), (std::vector<std::string>{"VV", "II"}));
}

TEST_F(Information_test, a_value_without_a_space_ends_at_the_parenthesis_or_not_at_all)
{
    sim.set_version_field("FIRM", "2.0(beta)");
    sim.set_info_field("MESM", "Idle");
    open_sensor();
    EXPECT_STREQ(vyr_firmware_version(&sensor), "2.0");
    EXPECT_STREQ(vyr_measurement_state(&sensor), "receive error.");

    // A key missing from a reply read for several spoils none of the others.
    vyr_info_value status, state;
    EXPECT_STREQ(vyr_read_state(&sensor, &status, &state), "receive error.");
    EXPECT_EQ(status.found, 1);
    EXPECT_STREQ(status.text, "Stable 000 no error.");
    EXPECT_EQ(state.found, 0);
    EXPECT_STREQ(state.text, "");
}

TEST_F(Information_test, a_reply_one_line_short_is_a_receive_error)
{
    sim.set_version_field("VEND", "");
    open_sensor();
    EXPECT_STREQ(vyr_product(&sensor), "receive error.");
    vyr_info_value product, firmware, serial;
    EXPECT_STREQ(vyr_read_version(&sensor, &product, &firmware, &serial), "receive error.");
    EXPECT_EQ(product.found + firmware.found + serial.found, 0);
}

TEST_F(Information_test, stability_follows_the_status_text)
{
    open_sensor();
    sim.set_info_field("STAT", "Stable 000 no error.");
    EXPECT_EQ(vyr_is_stable(&sensor), 1);
    EXPECT_STREQ(vyr_sensor_status(&sensor), "Stable 000 no error.");
    sim.set_info_field("STAT", "Stabilising");
    EXPECT_EQ(vyr_is_stable(&sensor), 0);
    EXPECT_EQ(vyr_status_is_stable("Stable"), 1);
    EXPECT_EQ(vyr_status_is_stable("Stabl"), 0);
    vyr_close(&sensor);
    EXPECT_EQ(vyr_is_stable(&sensor), 0);
    EXPECT_STREQ(vyr_sensor_status(&sensor), "not connected.");
}

TEST_F(Information_test, the_sensor_time_is_read_in_time_adjust_mode)
{
    open_sensor();
    ASSERT_EQ(vyr_time_adjust_begin(&sensor), 0);
    EXPECT_TRUE(sim.time_adjust_mode());
    const int first = vyr_read_sensor_time(&sensor);
    ASSERT_GE(first, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int second = vyr_read_sensor_time(&sensor);
    EXPECT_GE(second - first, 90);
    EXPECT_LE(second - first, 300);
    ASSERT_EQ(vyr_time_adjust_end(&sensor), 0);
    EXPECT_FALSE(sim.time_adjust_mode());
    EXPECT_EQ(commands(), (std::vector<std::string>{"TM0", "TM1", "TM1", "TM2"}));
}

TEST_F(Information_test, a_bad_time_line_is_refused)
{
    open_sensor();
    sim.set_fault_command("TM1");
    sim.set_fault(vyr_sim::Fault::data_checksum);
    ASSERT_EQ(vyr_time_adjust_begin(&sensor), 0);
    EXPECT_EQ(vyr_read_sensor_time(&sensor), VYR_CHECKSUM_ERROR);
    sim.clear_faults();
    sim.set_fault_command("TM0");
    sim.set_fault(vyr_sim::Fault::status_checksum);
    EXPECT_EQ(vyr_time_adjust_begin(&sensor), VYR_INVALID_RESPONSE);
    EXPECT_EQ(sensor.last_error, VYR_INVALID_RESPONSE);
}

TEST_F(Information_test, sleep_stops_the_sensor_first_and_wake_only_stops)
{
    open_sensor();
    EXPECT_GT(vyr_sleep(&sensor), 0);
    EXPECT_EQ(vyr_wake(&sensor), 0);
    EXPECT_EQ(commands(), (std::vector<std::string>{"QT", "%SL", "QT"}));
}

TEST_F(Information_test, a_closed_handle_answers_not_connected)
{
    EXPECT_STREQ(vyr_product(&sensor), "not connected.");
    vyr_info_value status, state;
    EXPECT_STREQ(vyr_read_state(&sensor, &status, &state), "not connected.");
    EXPECT_EQ(status.found + state.found, 0);
    EXPECT_EQ(vyr_time_adjust_begin(&sensor), VYR_NOT_CONNECTED);
    EXPECT_EQ(vyr_read_sensor_time(&sensor), VYR_NOT_CONNECTED);
    EXPECT_EQ(vyr_sleep(&sensor), VYR_NOT_CONNECTED);
    EXPECT_TRUE(sim.received().empty());
}

} // namespace
