#include "loopback_socket.h"
#include "sim_sensor_test.h"

#include <string>
#include <tuple>
#include <utility>
#include <thread>
#include <vector>

using Texts = std::vector<std::string>;
using vyr_sim::Fault;

TEST_F(Sim_test, TcpOpenSendsHandshakeAndParameterRequestOnly)
{
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(received(), (Texts{"QT", "PP"}));
    EXPECT_EQ(sensor.is_active, 1);
    EXPECT_EQ(sensor.last_error, VYR_NO_ERROR);
    EXPECT_EQ(sensor.data_pending, 0);
    // The simulated sensor's defaults: AMIN 44, AMAX 725, AFRT 384, 600 scans a minute.
    EXPECT_EQ(sensor.area_min, 44);
    EXPECT_EQ(sensor.area_max, 725);
    EXPECT_EQ(sensor.area_front, 384);
    EXPECT_EQ(sensor.area_resolution, 1024);
    EXPECT_EQ(sensor.distance_min, 20);
    EXPECT_EQ(sensor.distance_max, 5600);
    EXPECT_EQ(sensor.first_step, 44 - 384);
    EXPECT_EQ(sensor.last_step, 725 - 384);
    EXPECT_EQ(sensor.skip_step, 1);
    EXPECT_EQ(sensor.scan_usec, 100000);
    EXPECT_EQ(sensor.timeout_msec, 1562);
}

// The time-out follows the scan period, but a slow or fast rate cannot make it absurd.
TEST_F(Sim_test, ReplyTimeoutFollowsScanRateWithinItsBounds)
{
    const struct
    {
        int scans_per_minute;
        int scan_usec;
        int timeout_msec;
    } cases[] = {{600, 100000, 1562}, {2400, 25000, 390}, {60, 1000000, 2000},
                 {12000, 5000, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scans_per_minute);
        sim.set_scans_per_minute(c.scans_per_minute);
        ASSERT_EQ(open_tcp(), 0) << vyr_error_detail(&sensor);
        EXPECT_EQ(sensor.scan_usec, c.scan_usec);
        EXPECT_EQ(sensor.timeout_msec, c.timeout_msec);
        vyr_close(&sensor);
    }
}

// Values no sensor of the series reports would size arrays, overflow conversions or make
// waits endless: the open fails and says which value it was.
TEST_F(Sim_test, ParameterValuesNoSensorHasFailTheOpenNamingThem)
{
    sim.set_parameter("PROT", "2.0"); // keeps the reply long enough without a key
    const std::vector<std::pair<std::string, std::string>> defaults = {
        {"DMIN", "20"},  {"DMAX", "5600"}, {"ARES", "1024"}, {"AMIN", "44"},
        {"AMAX", "725"}, {"AFRT", "384"},  {"SCAN", "600"}};
    const struct
    {
        const char* key;
        const char* value;
        const char* detail; // null: the open succeeds
    } cases[] = {
        {"AMAX", "2147483647", "the sensor reported AMAX 2147483647, outside 0..9999"},
        {"AMAX", "2147483646", "the sensor reported AMAX 2147483646, outside 0..9999"},
        {"AMAX", "100000000", "the sensor reported AMAX 100000000, outside 0..9999"},
        {"AMAX", "99999999999999999999",
         "the sensor reported AMAX 9223372036854775807, outside 0..9999"},
        {"AMAX", "9999", nullptr},
        {"AMIN", "-1", "the sensor reported AMIN -1, outside 0..9999"},
        {"AFRT", "726", "the sensor reported AMIN 44, AFRT 726, AMAX 725, out of order"},
        {"AFRT", "43", "the sensor reported AMIN 44, AFRT 43, AMAX 725, out of order"},
        {"ARES", "0", "the sensor reported ARES 0, outside 1..65535"},
        {"ARES", "-2147483648", "the sensor reported ARES -2147483648, outside 1..65535"},
        {"DMAX", "262144", "the sensor reported DMAX 262144, outside 0..262143"},
        {"DMAX", "262143", nullptr},
        {"DMIN", "-20", "the sensor reported DMIN -20, outside 0..262143"},
        {"DMIN", "5601", "the sensor reported DMIN 5601 above DMAX 5600"},
        {"SCAN", "", "the sensor reported no number for SCAN"},
        {"SCAN", "x", "the sensor reported no number for SCAN"},
        {"SCAN", "0", "the sensor reported SCAN 0, outside 60..12000"},
        {"SCAN", "-600", "the sensor reported SCAN -600, outside 60..12000"},
        {"SCAN", "1", "the sensor reported SCAN 1, outside 60..12000"},
        {"SCAN", "1000000", "the sensor reported SCAN 1000000, outside 60..12000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + ":" + c.value);
        for (const auto& entry : defaults) {
            sim.set_parameter(entry.first, entry.second);
        }
        sim.set_parameter(c.key, c.value);
        const int result = open_tcp();
        if (!c.detail) {
            EXPECT_EQ(result, 0) << vyr_error_detail(&sensor);
            vyr_close(&sensor);
            continue;
        }
        EXPECT_EQ(result, VYR_RECEIVE_ERROR);
        EXPECT_EQ(sensor.last_error, VYR_RECEIVE_ERROR);
        EXPECT_STREQ(vyr_error_detail(&sensor), c.detail);
        EXPECT_EQ(sensor.is_active, 0);
        // A failed open leaves no link behind.
        EXPECT_LT(vyr_raw_write(&sensor, "QT\n", 3), 0);
    }
}

TEST_F(Sim_test, ParameterReplyLongerThanItsBufferStillOpens)
{
    // Far more lines than the reply buffer holds: the later ones are skipped, and the
    // walk over the stored lines must not run past the buffer (checked under ASan).
    for (int i = 0; i < 40; ++i) {
        sim.set_parameter("X" + std::to_string(100 + i), std::string(60, 'x'));
    }
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(sensor.timeout_msec, 1562);
    EXPECT_EQ(sensor.area_front, 384);
}

TEST_F(Sim_test, ShortParameterReplyIsInvalid)
{
    for (const char* key : {"DMIN", "DMAX", "MODL"}) {
        sim.set_parameter(key, "");
    }
    EXPECT_EQ(open_tcp(), VYR_INVALID_RESPONSE);
    EXPECT_EQ(sensor.is_active, 0);
}

TEST_F(Sim_test, RefusedParameterRequestFailsOpenWithoutStoredCode)
{
    sim.set_fault(Fault::refused_status);
    sim.set_fault_command("PP");
    EXPECT_EQ(open_tcp(), VYR_UNKNOWN_ERROR);
    EXPECT_EQ(sensor.last_error, VYR_NO_ERROR);
    EXPECT_EQ(sensor.is_active, 0);
    EXPECT_LT(vyr_raw_write(&sensor, "QT\n", 3), 0);
}

TEST_F(Sim_test, SensorInTimeAdjustModeIsReleased)
{
    sim.set_time_adjust_mode(true);
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(received(), (Texts{"QT", "TM2", "PP"}));
    EXPECT_FALSE(sim.time_adjust_mode());
}

TEST_F(Sim_test, SensorOnOldProtocolIsSwitched)
{
    sim.set_old_protocol(true);
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(received(), (Texts{"QT", "ZEMA2.0", "PP"}));
    EXPECT_FALSE(sim.old_protocol());
}

TEST_F(Sim_test, RefusedTcpConnectionIsEthernetOpenError)
{
    EXPECT_EQ(vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", free_loopback_port()),
              VYR_ETHERNET_OPEN_ERROR);
    EXPECT_STREQ(vyr_error_text(&sensor), "could not open ethernet port.");
    EXPECT_EQ(vyr_open(&sensor, 2, "127.0.0.1", free_loopback_port()), VYR_INVALID_RESPONSE);
    for (const char* device : {"/nonexistent/tty", "/dev/null"}) {
        EXPECT_EQ(vyr_open(&sensor, VYR_SERIAL, device, 115200), VYR_SERIAL_OPEN_ERROR);
        EXPECT_STREQ(vyr_error_text(&sensor), "could not open serial device.");
    }
    EXPECT_EQ(sensor.is_active, 0);
}

TEST_F(Sim_test, SilentTcpPeerFailsDetectionAfterThreeTries)
{
    sim.set_fault(Fault::no_answer);
    EXPECT_EQ(open_tcp(), VYR_BAUDRATE_DETECT_ERROR);
    EXPECT_STREQ(vyr_error_text(&sensor), "could not detect serial baudrate.");
    // The first failure also stops output that may have been left running.
    EXPECT_EQ(received(), (Texts{"QT", "QT", "QT", "QT"}));
    EXPECT_EQ(sensor.is_active, 0);
}

TEST_F(Sim_test, SensorAnsweringLateOverTcpIsStillSentRateChange)
{
    // The first answer is spoiled, the second try succeeds: the rate found is not the
    // requested one, so the sensor is told to change it even on a TCP link.
    sim.set_fault(Fault::status_checksum);
    sim.set_fault_command("QT");
    ASSERT_TRUE(sim.start_tcp(0));
    tcp_started = true;
    std::thread healer([this] {
        sim.wait_for_received(2, 2000);
        sim.clear_faults();
    });
    const int result = open_tcp();
    healer.join();
    ASSERT_EQ(result, 0);
    const Texts lines = received();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), "QT");
    EXPECT_EQ(lines[lines.size() - 2], "SS115200");
    EXPECT_EQ(lines.back(), "PP");
}

TEST_F(Sim_test, SerialSearchFindsSlowSensorAndMovesItToRequestedRate)
{
    sim.set_serial_rate(19200);
    ASSERT_EQ(open_serial(115200), 0);
    EXPECT_EQ(received(), (Texts{"QT", "QT", "QT", "QT", "SS115200", "PP"}));
    EXPECT_EQ(received_rates(), (std::vector<long>{115200, 115200, 38400, 19200, 19200, 115200}));
    EXPECT_EQ(sim.serial_rate(), 115200);
    EXPECT_EQ(sensor.is_active, 1);
}

TEST_F(Sim_test, SerialSearchWithoutSensorTriesEachRateOnce)
{
    sim.set_serial_rate(57600);
    EXPECT_EQ(open_serial(38400), VYR_BAUDRATE_DETECT_ERROR);
    EXPECT_EQ(received_rates(), (std::vector<long>{38400, 38400, 19200, 115200}));
    EXPECT_EQ(sensor.is_active, 0);
    EXPECT_STREQ(vyr_error_detail(&sensor), "no answer to \"QT\" at 19200, 38400 or 115200 baud");
}

TEST_F(Sim_test, SerialRequestedRateOutsideCandidatesIsSentWithSixDigits)
{
    sim.set_serial_rate(38400);
    ASSERT_EQ(open_serial(57600), 0);
    EXPECT_EQ(received_rates(), (std::vector<long>{19200, 19200, 38400, 38400, 57600}));
    EXPECT_EQ(received()[3], "SS057600");
    EXPECT_EQ(sim.serial_rate(), 57600);
}

TEST_F(Sim_test, SerialRateTooLongForCommandIsRefusedUnsent)
{
    sim.set_serial_rate(19200);
    EXPECT_EQ(open_serial(1000000), VYR_INVALID_PARAMETER);
    for (const std::string& line : received()) {
        EXPECT_EQ(line, "QT");
    }
    EXPECT_EQ(sensor.is_active, 0);
}

// Noise at the wrong rates, as a UART shows a sensor talking at another speed,
// is no busy sensor: the search goes on to the sensor's rate.
class Noisy_line_search : public Sim_test,
                          public ::testing::WithParamInterface<std::tuple<long, long>>
{
};

TEST_P(Noisy_line_search, finds_the_sensor_and_moves_it_to_the_requested_rate)
{
    const long actual = std::get<0>(GetParam());
    const long requested = std::get<1>(GetParam());
    sim.set_serial_rate(actual);
    sim.set_mismatch(vyr_sim::Mismatch::garbage);
    ASSERT_EQ(open_serial(requested), 0) << vyr_error_text(&sensor);
    EXPECT_EQ(sim.serial_rate(), requested);
    EXPECT_EQ(received().back(), "PP");
}

INSTANTIATE_TEST_SUITE_P(Rates, Noisy_line_search,
                         ::testing::Combine(::testing::Values(19200L, 38400L, 115200L),
                                            ::testing::Values(19200L, 38400L, 115200L)));
