// Limits and conversions of an open handle; nothing is sent, so the handle's
// parameters are set directly.

#include "vyr_conversions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double pi = 3.141592653589793;

class Conversions_test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vyr_sensor_init(&sensor);
        sensor.is_active = 1;
        sensor.area_resolution = 1440;
        sensor.area_front = 540;
        sensor.area_min = 0;
        sensor.area_max = 1080;
    }

    // The angle of a fractional number of steps.
    double steps_rad(double steps) const { return steps * 2 * pi / sensor.area_resolution; }

    vyr_sensor sensor;
};

TEST_F(Conversions_test, degrees_and_steps)
{
    EXPECT_EQ(vyr_deg_to_step(&sensor, 90), 360);
    EXPECT_EQ(vyr_deg_to_step(&sensor, -90), -360);
    EXPECT_EQ(vyr_deg_to_step(&sensor, 0), 0);
    EXPECT_DOUBLE_EQ(vyr_step_to_deg(&sensor, 360), 90.0);
    EXPECT_DOUBLE_EQ(vyr_step_to_rad(&sensor, -720), -pi);
    EXPECT_EQ(vyr_rad_to_step(&sensor, 100.0), 540);
}

TEST_F(Conversions_test, degrees_and_indexes_clamp_to_the_sensor)
{
    EXPECT_EQ(vyr_deg_to_index(&sensor, 90), 900);
    EXPECT_EQ(vyr_deg_to_index(&sensor, 200), 1080);
    EXPECT_EQ(vyr_deg_to_index(&sensor, -200), 0);
    EXPECT_EQ(vyr_rad_to_index(&sensor, 1e300), 1080);
    EXPECT_EQ(vyr_rad_to_index(&sensor, NAN), 0);
    EXPECT_DOUBLE_EQ(vyr_index_to_deg(&sensor, 540), 0.0);
    EXPECT_DOUBLE_EQ(vyr_index_to_rad(&sensor, -5), vyr_index_to_rad(&sensor, 0));
    EXPECT_DOUBLE_EQ(vyr_index_to_rad(&sensor, 5000), vyr_index_to_rad(&sensor, 1080));
}

TEST_F(Conversions_test, half_steps_round_up)
{
    EXPECT_EQ(vyr_rad_to_step(&sensor, steps_rad(0.5)), 1);
    EXPECT_EQ(vyr_rad_to_step(&sensor, steps_rad(-0.5)), 0);
    EXPECT_EQ(vyr_rad_to_step(&sensor, steps_rad(-0.6)), -1);
    EXPECT_EQ(vyr_rad_to_step(&sensor, steps_rad(10.49)), 10);
}

TEST_F(Conversions_test, indexes_follow_the_first_received_step)
{
    sensor.received_first_step = 100;
    EXPECT_EQ(vyr_step_to_index(&sensor, 0), 440);
    EXPECT_EQ(vyr_rad_to_index(&sensor, 0.0), 540);
    EXPECT_DOUBLE_EQ(vyr_index_to_deg(&sensor, 440), 0.0);
    EXPECT_EQ(vyr_step_to_index(&sensor, -600), 0);
}

TEST_F(Conversions_test, an_inactive_handle_gives_its_fixed_values)
{
    sensor.is_active = 0;
    sensor.last_error = VYR_CHECKSUM_ERROR;
    long min_distance = 0;
    long max_distance = 0;
    vyr_distance_limits(&sensor, &min_distance, &max_distance);
    EXPECT_EQ(min_distance, 1);
    EXPECT_EQ(max_distance, 0);
    int min_step = 0;
    int max_step = 0;
    vyr_step_limits(&sensor, &min_step, &max_step);
    EXPECT_EQ(min_step, 1);
    EXPECT_EQ(max_step, 0);
    EXPECT_EQ(vyr_max_data_count(&sensor), -2);
    EXPECT_EQ(vyr_scan_period_usec(&sensor), -2);
    EXPECT_EQ(vyr_deg_to_index(&sensor, 10), -2);
    EXPECT_EQ(vyr_deg_to_step(&sensor, 10), -2);
    EXPECT_EQ(vyr_step_to_index(&sensor, 10), -2);
    EXPECT_DOUBLE_EQ(vyr_index_to_rad(&sensor, 10), -2.0);
    EXPECT_NEAR(vyr_step_to_deg(&sensor, 10), -114.59156, 1e-5);
    EXPECT_NEAR(vyr_index_to_deg(&sensor, 10), -114.59156, 1e-5);
    EXPECT_EQ(sensor.last_error, VYR_CHECKSUM_ERROR);
}

} // namespace
