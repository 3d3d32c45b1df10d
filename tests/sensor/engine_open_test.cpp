#include "loopback_socket.h"
#include "sim_sensor_test.h"

#include <string>
#include <tuple>
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

TEST_F(Sim_test, ReplyTimeoutFollowsScanRate)
{
    sim.set_scans_per_minute(2400);
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(sensor.scan_usec, 25000);
    EXPECT_EQ(sensor.timeout_msec, 390);
}

TEST_F(Sim_test, ScanningRangeKeptWhenSensorRangeIsNegative)
{
    sensor.first_step = 7;
    sensor.last_step = 9;
    sim.set_parameter("AMIN", "-1");
    ASSERT_EQ(open_tcp(), 0);
    EXPECT_EQ(sensor.area_min, -1);
    EXPECT_EQ(sensor.first_step, 7);
    EXPECT_EQ(sensor.last_step, 9);
}

TEST_F(Sim_test, MissingOrUnusableScanRateFailsOpenAndClosesLink)
{
    sim.set_parameter("PROT", "2.0"); // keeps the reply long enough without "SCAN:"
    // A negative rate or one so fast that the time-out rounds to 0 would make every later
    // read wait without limit.
    for (const char* scan : {"", "0", "x", "-600", "1000000"}) {
        SCOPED_TRACE(scan);
        sim.set_parameter("SCAN", scan);
        EXPECT_EQ(open_tcp(), VYR_RECEIVE_ERROR);
        EXPECT_EQ(sensor.last_error, VYR_RECEIVE_ERROR);
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
