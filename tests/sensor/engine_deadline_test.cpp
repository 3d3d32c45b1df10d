// One clock per operation: what a device does cannot hold the caller past the operation's
// bound, and the failure says what happened. An abort ends a wait from another thread.

#include "sim_sensor_test.h"
#include "transport_reads.h"
#include "vyr_information.h"
#include "vyr_measurement.h"

#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace {

using vyr_sim::Fault;

// What a loaded machine may add to a bound.
const long load_margin_ms = 250;

struct Bound_case
{
    const char* name;
    Fault fault;
    const char* command; // the fault's command; empty: every command
    bool serial;
    bool opened_first;
    std::function<int(vyr_sensor&)> operation; // null: the open
    std::function<long(const vyr_sensor&)> bound_ms;
    const char* detail; // how the detail starts
};

void PrintTo(const Bound_case& c, std::ostream* out)
{
    *out << c.name;
}

class Deadline_test : public Sim_test, public ::testing::WithParamInterface<Bound_case>
{
};

int read_single_scan(vyr_sensor& sensor)
{
    static long distance[1 << 14];
    if (vyr_start_scans(&sensor, VYR_DISTANCE, 1, 0) != 0) {
        return sensor.last_error;
    }
    return vyr_read_distance(&sensor, distance, nullptr);
}

int product(vyr_sensor& sensor)
{
    return std::string(vyr_product(&sensor)) == "receive error." ? sensor.last_error : 0;
}

int status(vyr_sensor& sensor)
{
    return std::string(vyr_sensor_status(&sensor)) == "receive error." ? sensor.last_error : 0;
}

long exchange_bound(const vyr_sensor& sensor)
{
    return sensor.timeout_msec + 500;
}

TEST_P(Deadline_test, ends_within_its_bound_and_says_why)
{
    const Bound_case& c = GetParam();
    sim.set_trickle_ms(25);
    if (c.serial) {
        ASSERT_TRUE(sim.start_serial());
    } else {
        ASSERT_TRUE(sim.start_tcp(0));
        tcp_started = true;
    }
    if (c.opened_first) {
        ASSERT_EQ(open_tcp(), 0);
    }
    sim.set_fault_command(c.command);
    sim.set_fault(c.fault);

    Stopwatch watch;
    const int result = c.operation ? c.operation(sensor)
                       : c.serial ? vyr_open(&sensor, VYR_SERIAL, sim.serial_path().c_str(), 115200)
                                  : open_tcp();
    const long elapsed = watch.elapsed_ms();
    EXPECT_LT(result, 0);
    EXPECT_LT(elapsed, c.bound_ms(sensor) + load_margin_ms) << vyr_error_detail(&sensor);
    EXPECT_EQ(std::string(vyr_error_detail(&sensor)).rfind(c.detail, 0), 0u)
        << vyr_error_detail(&sensor);
    sim.clear_faults();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Deadline_test,
    ::testing::Values(
        Bound_case{"silent_tcp_open", Fault::no_answer, "", false, false, nullptr,
                   [](const vyr_sensor&) { return 3000L; },
                   "no answer to \"QT\" within 140 ms; another client may hold the sensor"},
        Bound_case{"trickled_open", Fault::trickle, "", false, false, nullptr,
                   [](const vyr_sensor&) { return 3000L; },
                   "the answer to \"PP\" did not complete within"},
        Bound_case{"chatter_after_every_reply_at_tcp_open", Fault::talk_on, "", false, false,
                   nullptr, [](const vyr_sensor&) { return 3000L; },
                   "the device answered, but not in the sensor's protocol"},
        Bound_case{"chatter_after_every_reply_at_serial_open", Fault::talk_on, "", true, false,
                   nullptr, [](const vyr_sensor&) { return 5000L; },
                   "the device answered, but not in the sensor's protocol"},
        Bound_case{"endless_information_reply", Fault::endless_data, "II", false, true, status,
                   exchange_bound, "the answer to \"II\" did not end within 256 lines"},
        Bound_case{"trickled_version_reply", Fault::trickle, "VV", false, true, product,
                   exchange_bound, "the answer to \"VV\" did not complete within"},
        Bound_case{"unanswered_version", Fault::no_answer, "VV", false, true, product,
                   exchange_bound, "no answer to \"VV\" within 1562 ms"},
        Bound_case{"unanswered_reboot", Fault::no_answer, "RB", false, true,
                   [](vyr_sensor& s) { return vyr_reboot(&s); }, exchange_bound,
                   "no answer to \"RB\" within 1562 ms"},
        Bound_case{"trickled_scan", Fault::trickle, "GD", false, true, read_single_scan,
                   [](const vyr_sensor& s) { return 2L * s.timeout_msec + 500; },
                   "the scan did not complete in time"},
        Bound_case{"endless_scan_data", Fault::endless_data, "GD", false, true, read_single_scan,
                   [](const vyr_sensor& s) { return 2L * s.timeout_msec + 500; },
                   "the scan did not end within 4096 lines"}),
    [](const ::testing::TestParamInfo<Bound_case>& row) { return std::string(row.param.name); });

} // namespace

namespace {

TEST_F(Sim_sensor_test, StopTheSensorIgnoresFailsInTimeAndKeepsTheMeasuringState)
{
    open_sensor();
    sim.set_pacing(vyr_sim::Pacing::scan_rate); // scans keep coming for as long as it waits
    long distance[area_max + 1];
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 0, 0), 0);
    ASSERT_GT(vyr_read_distance(&sensor, distance, nullptr), 0);
    sim.set_fault_command("QT");
    sim.set_fault(Fault::no_answer);

    Stopwatch watch;
    EXPECT_LT(vyr_stop_scans(&sensor), 0);
    EXPECT_LT(watch.elapsed_ms(), 1500);
    EXPECT_EQ(sensor.data_pending, 1);
    EXPECT_EQ(std::string(vyr_error_detail(&sensor)).rfind("\"QT\" was not confirmed within", 0),
              0u)
        << vyr_error_detail(&sensor);

    sim.clear_faults();
    EXPECT_EQ(vyr_stop_scans(&sensor), 0) << vyr_error_detail(&sensor);
    EXPECT_EQ(sensor.data_pending, 0);
    EXPECT_STREQ(vyr_error_detail(&sensor), "");
}

class Abort_test : public Sim_test, public ::testing::WithParamInterface<bool>
{
};

// Another thread ends a read that waits for a silent sensor; until the abort is cleared
// every operation fails at once, then the link serves again.
TEST_P(Abort_test, ends_a_blocked_read_and_refuses_work_until_cleared)
{
    const bool serial = GetParam();
    ASSERT_EQ(serial ? open_serial(115200) : open_tcp(), 0) << vyr_error_detail(&sensor);
    sim.set_fault_command("GD");
    sim.set_fault(Fault::no_answer);
    ASSERT_EQ(vyr_start_scans(&sensor, VYR_DISTANCE, 1, 0), 0);

    Stopwatch since_abort;
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        since_abort = Stopwatch();
        vyr_request_abort(&sensor);
    });
    static long distance[1 << 14];
    const int result = vyr_read_distance(&sensor, distance, nullptr);
    const long waited = since_abort.elapsed_ms();
    aborter.join();
    EXPECT_EQ(result, VYR_NO_RESPONSE);
    // Far below the read's own time-out, with room for a host busy with other work.
    EXPECT_LT(waited, 400);
    EXPECT_STREQ(vyr_error_detail(&sensor), "stopped by request");

    Stopwatch refused;
    EXPECT_STREQ(vyr_product(&sensor), "receive error.");
    EXPECT_EQ(vyr_stop_scans(&sensor), VYR_NO_RESPONSE);
    EXPECT_STREQ(vyr_error_detail(&sensor), "stopped by request");
    char line[16];
    EXPECT_EQ(vyr_raw_readline(&sensor, line, sizeof line, 1000), -1);
    EXPECT_LT(refused.elapsed_ms(), 250);

    vyr_clear_abort(&sensor);
    sim.clear_faults();
    EXPECT_EQ(vyr_stop_scans(&sensor), 0) << vyr_error_detail(&sensor);
    EXPECT_STRNE(vyr_product(&sensor), "receive error.") << vyr_error_detail(&sensor);
}

INSTANTIATE_TEST_SUITE_P(Links, Abort_test, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return std::string(row.param ? "serial" : "tcp");
                         });

} // namespace
