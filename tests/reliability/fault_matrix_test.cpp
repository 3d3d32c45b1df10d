// Every fault the simulated sensor can inject against every operation that
// reads a reply: the result, an upper bound on the time, no descriptor left open
// and no memory taken by a device's numbers.

#include "fault_cell.h"
#include "loopback_socket.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <tuple>
#include <vector>

using vyr_sim::Fault;

namespace {

// The first rows' bounds hold on an idle machine; a busy two-core one, or a
// sanitizer build, stretches every step.
const int scheduling_slack_msec = 2500;
// The later rows hold the driver to the bound each operation promises, with a small
// margin for a loaded machine.
#if defined(__SANITIZE_ADDRESS__)
const int load_margin_msec = 700;
#else
const int load_margin_msec = 400;
#endif
// A scan buffer sized by a device's number would pass this by far.
const long peak_growth_cap_kb = 128 * 1024;

struct Expected
{
    const char* result; // nullptr: the cell does not exist
    int max_msec;
    const char* or_result = nullptr; // where the timing of a flood decides between two
    const char* follow_up = nullptr; // other than the operation's usual result
};

struct Row
{
    Fault_choice fault;
    Expected cells[operation_count];
    // The operation's own bound with the small margin, and then the same operation clean.
    bool bounded = false;
    // The operations after an open over serial as well: cheap rows whose bytes the
    // pseudo-terminal's line settings could bend.
    bool both_links = false;
};

#define FAULT(f)                                                                                   \
    Fault_choice                                                                                   \
    {                                                                                              \
        true, Fault::f                                                                             \
    }
// A fault at another pace than the simulator's usual one.
#define PACED(f, label, trickle, interval)                                                         \
    Fault_choice                                                                                   \
    {                                                                                              \
        true, Fault::f, label, trickle, interval                                                   \
    }
// A "PP" value no sensor of the series reports, alone or with a fault.
#define PARAM(label, key, value, usual)                                                            \
    Fault_choice                                                                                   \
    {                                                                                              \
        false, Fault::no_answer, label, 0, 0, key, value, usual                                    \
    }
#define PARAM_UNANSWERED(label, key, value, usual)                                                 \
    Fault_choice                                                                                   \
    {                                                                                              \
        true, Fault::no_answer, label, 0, 0, key, value, usual                                     \
    }

const char* const DET = "could not detect serial baudrate.";
const char* const INV = "invalid response.";
const char* const CHK = "checksum error.";
const char* const NORESP = "no response.";
const char* const RECV = "receive error."; // the error and the information text alike
const char* const PROD = "VYR-SIM01";
const char* const STAT = "Stable 000 no error.";
const char* const NOERR = "no error.";
const char* const STEPS = "ok:21"; // the requested range
const char* const NONE = "ok:0"; // a reply without steps gives no values
const char* const HOSTILE = "<b>VYR</b><a href=x><img src=\"/dev/zero\">\xb0\xff\x1b[2J\x07\x80";
const Expected NA = {nullptr, 0};

// The bounds each operation promises: an open over TCP, over serial with the rate
// search, the panels' 2000 and 1000 ms replies, one or two exchanges of the engine
// (its reply time-out is 390 ms here), and a stop.
const int OPEN_TCP = 3000;
const int OPEN_SERIAL = 5000;
const int HEATER = 2000 + 500;
const int PHASE = 1000 + 500;
const int ADDRESS = 2 * 1000 + 500; // the compact form, then the dotted one
const int ONE = 390 + 500;
const int TWO = 2 * ONE;
const int STOP = 1500;
const int CLAMPED = 2000 + 500; // an exchange after a "SCAN" value that would make it longer

// clang-format off
// Columns: open_tcp, open_serial, heater, phase_set, phase_get, ip_change,
// read_distance, read_distance_intensity, read_multiecho, read_multiecho_intensity,
// version_info, status_info, reboot, stop_scans. A stop passes over lines until its echo and
// takes any status, so only a missing or broken confirmation fails it.
const Row matrix[] = {
    {Fault_choice{},
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(no_answer),
     {{DET, 2500}, {DET, 2500}, {"fail", 3000}, {"fail", 2000}, {"fail", 2000}, {"fail", 3500},
      {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}, {NORESP, STOP}}},
    {FAULT(delay),
     {{DET, 2500}, {DET, 2500}, {"fail", 3000}, {"fail", 2000}, {"fail", 2000}, {"fail", 3500},
      {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}, {NORESP, STOP}}},
    {FAULT(trickle),
     {{"ok", 2500}, {"ok", 2500}, {"success", 1500}, {"success", 1500}, {"123", 1500},
      {"success", 2000}, {STEPS, 3000}, {STEPS, 3000}, {STEPS, 3000}, {STEPS, 3000},
      {PROD, 2000}, {STAT, 2000}, {NOERR, 2000}, {NOERR, STOP}}},
    // The compact address form is answered with a one-character status, which has no checksum.
    {FAULT(status_checksum),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"success", 1500},
      {CHK, 1500}, {CHK, 1500}, {CHK, 2500}, {CHK, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}, {CHK, STOP}}},
    // The panels do not check data checksums.
    {FAULT(data_checksum),
     {{CHK, 1000}, {CHK, 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {CHK, 1500}, {CHK, 1500}, {CHK, 2500}, {CHK, 2500}, {RECV, 1500},
      {RECV, 1500}, {NOERR, 1000}, {NOERR, STOP}}},
    // A wrong echo still proves a sensor is there; the panels take a reply with another
    // echo for another command's and wait on; a scan reply of unknown kind carries no steps.
    {FAULT(wrong_echo),
     {{INV, 2500}, {INV, 2500}, {"fail", 2500}, {"fail", 1500}, {"fail", 1500},
      {"fail", 2500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}, {NORESP, STOP}}},
    {FAULT(long_line),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"fail", 1000},
      {INV, 1500}, {INV, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}, {NORESP, STOP}}},
    // A link that fails after the status line ends a panel's reply as its empty line would
    // (a phase read then has no phase) and cuts a scan short; the address change then cannot
    // reboot the sensor, so the new address is not in effect.
    {FAULT(close_after_status),
     {{DET, 2500}, {DET, 2500}, {"success", 500}, {"success", 500}, {"fail", 500},
      {"fail", 2000}, {NORESP, 1500}, {NORESP, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}, {NORESP, STOP}}},
    {FAULT(short_echo_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {RECV, 1500}, {RECV, 1500}, {RECV, 2500}, {RECV, 2500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(long_echo_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(huge_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {RECV, 1500}, {RECV, 1500}, {RECV, 2500}, {RECV, 2500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(leading_ampersand),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(no_steps),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}, {NOERR, STOP}}},
    {FAULT(refused_status),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"fail", 1000},
      {INV, 1500}, {INV, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}, {NOERR, STOP}}},
    // Data lines that never end.
    {FAULT(endless_data),
     {{INV, 3000}, {INV, 3000}, {"fail", 2500}, {"fail", 1500}, {"fail", 1500}, {"fail", 3000},
      {INV, 3000}, {INV, 3000}, {INV, 5000}, {INV, 5000}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}, {INV, STOP}}},
    // Output that goes on after a complete reply, the stop reply included; the reboot after
    // an address change is never confirmed through it.
    {FAULT(talk_on),
     {{INV, 3000}, {INV, 3000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"fail", 2000}, {STEPS, 1000}, {STEPS, 1000}, {INV, 5000}, {INV, 5000}, {PROD, 500},
      {STAT, 500}, {INV, 1500}, {NOERR, STOP}}},
    // A replayed "RB" reply passes for the confirmation of the second command, unless the
    // drop before that command ends inside a replay the flood had half written; a replayed
    // address reply keeps the reboot from being confirmed.
    {FAULT(repeated_reply),
     {{INV, 3000}, {INV, 3000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"fail", 2000}, {STEPS, 1000}, {STEPS, 1000}, {INV, 5000}, {INV, 5000}, {PROD, 500},
      {STAT, 500}, {NOERR, 1500, INV}, {NOERR, STOP}}},

    // From here on each cell holds the operation to its own bound and is followed by the
    // same operation, clean, on the same connection.
    // A device that is no sensor: a line every millisecond, never an answer; from the
    // connection on for an open, after the operation's command otherwise.
    {FAULT(chatter),
     {{INV, OPEN_TCP}, {INV, OPEN_SERIAL}, {"fail", HEATER}, {"fail", PHASE}, {"fail", PHASE},
      {"fail", ADDRESS}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {RECV, ONE},
      {RECV, ONE}, {INV, ONE}, {NORESP, STOP}}, true},
    // Echo and status, then data lines without end, one every 5 ms: the clock ends the
    // reading before any line limit does (a flood meets the limits: endless_data above).
    {Fault_choice{true, Fault::endless_reply, nullptr, 0, 5},
     {{DET, OPEN_TCP}, {"invalid parameter.", OPEN_SERIAL}, {"fail", HEATER}, {"fail", PHASE},
      {"fail", PHASE}, {"fail", ADDRESS}, {RECV, TWO}, {RECV, TWO}, {INV, TWO}, {INV, TWO},
      {RECV, ONE}, {RECV, ONE}, {INV, ONE}, {INV, STOP}}, true},
    // "QT" unanswered and the measurement going on: the opens' "QT" too.
    {FAULT(ignore_stop),
     {{DET, OPEN_TCP}, {DET, OPEN_SERIAL}, {"success", HEATER}, {"success", PHASE},
      {"123", PHASE}, {"success", ADDRESS}, {STEPS, TWO}, {STEPS, TWO}, {STEPS, TWO},
      {STEPS, TWO}, {PROD, ONE}, {STAT, ONE}, {NOERR, ONE}, {NORESP, STOP}}, true, true},
    // Texts are data: they come through as the sensor sent them (the product is kept
    // from the first reading).
    {FAULT(hostile_text),
     {{"ok", OPEN_TCP}, {"ok", OPEN_SERIAL}, {"success", HEATER}, {"success", PHASE},
      {"123", PHASE}, {"success", ADDRESS}, {STEPS, TWO}, {STEPS, TWO}, {STEPS, TWO},
      {STEPS, TWO}, {HOSTILE, ONE, nullptr, HOSTILE}, {HOSTILE, ONE}, {NOERR, ONE},
      {NOERR, STOP}}, true, true},
    // A status of two bytes that are no number is a refusal (the stop reads no status).
    {FAULT(hostile_status),
     {{DET, OPEN_TCP}, {DET, OPEN_SERIAL}, {"fail", HEATER}, {"fail", PHASE}, {"fail", PHASE},
      {"fail", ADDRESS}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {RECV, ONE},
      {RECV, ONE}, {INV, ONE}, {NOERR, STOP}}, true},
    // A line every 50 ms: no line limit ends the waiting, only the clock.
    {PACED(chatter, "chatter_every_50ms", 0, 50),
     {{INV, OPEN_TCP}, {INV, OPEN_SERIAL}, {"fail", HEATER}, {"fail", PHASE}, {"fail", PHASE},
      {"fail", ADDRESS}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {INV, TWO}, {RECV, ONE},
      {RECV, ONE}, {INV, ONE}, {NORESP, STOP}}, true},
    // Every byte 25 ms apart: a line takes longer than its time-out.
    {PACED(trickle, "trickle_every_25ms", 25, 0),
     {{NORESP, OPEN_TCP}, {NORESP, OPEN_SERIAL}, {"success", HEATER}, {"success", PHASE},
      {"123", PHASE}, {"fail", ADDRESS}, {NORESP, TWO}, {NORESP, TWO}, {NORESP, TWO},
      {NORESP, TWO}, {RECV, ONE}, {RECV, ONE}, {NOERR, ONE}, {NOERR, STOP}}, true},
    // At 10 ms a byte the short replies of the panels still come in time; the others flow
    // on past their time, which must not stretch it. The "PP" lines of an open come just
    // about in time: a loaded machine that sends them in bursts lets the open succeed.
    {PACED(trickle, "trickle_every_10ms", 10, 0),
     {{NORESP, OPEN_TCP, "ok"}, {NORESP, OPEN_SERIAL, "ok"}, {"success", HEATER}, {"success", PHASE},
      {"123", PHASE}, {"success", ADDRESS}, {NORESP, TWO}, NA, {NORESP, TWO}, NA, {RECV, ONE},
      {RECV, ONE}, {NOERR, ONE}, {NOERR, STOP}}, true},
    // Step counts no sensor has fail the open, before anything is sized by them.
    {PARAM("amax_2147483647", "AMAX", "2147483647", "725"),
     {{RECV, OPEN_TCP}, {RECV, OPEN_SERIAL}, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA},
     true},
    {PARAM("amax_2147483646", "AMAX", "2147483646", "725"),
     {{RECV, OPEN_TCP}, {RECV, OPEN_SERIAL}, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA},
     true},
    {PARAM("amax_100000000", "AMAX", "100000000", "725"),
     {{RECV, OPEN_TCP}, {RECV, OPEN_SERIAL}, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA},
     true},
    {PARAM("amax_negative", "AMAX", "-1", "725"),
     {{RECV, OPEN_TCP}, {RECV, OPEN_SERIAL}, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA},
     true},
    // One scan a minute is no sensor's; one a second would stretch the reply time-out to
    // 15.6 s, yet an unanswered exchange of the engine ends in time (the panels keep their
    // own time-outs).
    {PARAM("scan_1", "SCAN", "1", "2400"),
     {{RECV, OPEN_TCP}, {RECV, OPEN_SERIAL}, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA},
     true},
    // (One column of each path that waits: the intensity kinds and "II" wait as their
    // neighbours do.)
    {PARAM_UNANSWERED("scan_60_unanswered", "SCAN", "60", "2400"),
     {NA, NA, NA, NA, NA, NA, {NORESP, CLAMPED}, NA, {NORESP, CLAMPED}, NA, {RECV, CLAMPED}, NA,
      {INV, CLAMPED}, {NORESP, STOP}},
     true},
};
// clang-format on

#undef FAULT

const int row_count = sizeof matrix / sizeof matrix[0];

class Fault_matrix : public ::testing::TestWithParam<std::tuple<int, int, Link_kind>>
{
};

long peak_resident_kb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string usual_result(Operation operation);

using Cell = std::tuple<int, int, Link_kind>; // row, operation, link

TEST_P(Fault_matrix, ends_with_the_expected_result_in_time_without_leaking)
{
    const Row& row = matrix[std::get<0>(GetParam())];
    const Operation operation = static_cast<Operation>(std::get<1>(GetParam()));
    const Expected& expected = row.cells[std::get<1>(GetParam())];
    const Link_kind link = std::get<2>(GetParam());

    warm_up(operation);
    const int descriptors_before = open_descriptor_count();
    const long peak_before = peak_resident_kb();

    const Cell_outcome outcome = run_cell(operation, row.fault, link, row.bounded);
    std::printf("cell %s %s %s: %s (%s) in %lld ms%s%s\n", fault_name(row.fault),
                operation_name(operation), link_name(link), outcome.result.c_str(),
                outcome.detail.c_str(),
                outcome.msec, row.bounded ? ", then " : "", outcome.follow_up.c_str());

    if (!expected.or_result || outcome.result != expected.or_result) {
        EXPECT_EQ(outcome.result, expected.result);
    }
    const bool bounded = row.bounded || operation == Operation::stop_scans;
    EXPECT_LE(outcome.msec,
              expected.max_msec + (bounded ? load_margin_msec : scheduling_slack_msec));
    if (row.bounded) {
        EXPECT_EQ(outcome.follow_up,
                  expected.follow_up ? expected.follow_up : usual_result(operation));
    }
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
    EXPECT_LE(peak_resident_kb() - peak_before, peak_growth_cap_kb);
}

std::vector<Cell> existing_cells()
{
    std::vector<Cell> cells;
    for (int row = 0; row < row_count; ++row) {
        for (int op = 0; op < operation_count; ++op) {
            const auto operation = static_cast<Operation>(op);
            if (matrix[row].cells[op].result) {
                cells.emplace_back(row, op, usual_link(operation));
            }
            const bool opening =
                operation == Operation::open_tcp || operation == Operation::open_serial;
            if (matrix[row].cells[op].result && matrix[row].both_links && !opening) {
                cells.emplace_back(row, op, Link_kind::serial);
            }
        }
    }
    return cells;
}

std::string cell_name(const ::testing::TestParamInfo<Cell>& info)
{
    const auto operation = static_cast<Operation>(std::get<1>(info.param));
    const Link_kind link = std::get<2>(info.param);
    return std::string(fault_name(matrix[std::get<0>(info.param)].fault)) + "__" +
           operation_name(operation) +
           (link == usual_link(operation) ? "" : std::string("__") + link_name(link));
}

// One ctest test per operation and fault, so ctest -j spreads the slow cells.
INSTANTIATE_TEST_SUITE_P(Cells, Fault_matrix, ::testing::ValuesIn(existing_cells()), cell_name);

// Second order: a fault on one reply, then the same operation (for opening, a
// product query) clean on the same connection gives its usual result, over both links.
const Fault one_reply_faults[] = {Fault::status_checksum, Fault::data_checksum,
                                  Fault::wrong_echo,      Fault::long_line,
                                  Fault::trickle,         Fault::delay,
                                  Fault::close_after_status, Fault::repeated_reply,
                                  Fault::talk_on};

struct Follow_up_cell
{
    Fault fault;
    Operation operation;
    Link_kind link;
};

std::vector<Follow_up_cell> follow_up_cells()
{
    std::vector<Follow_up_cell> cells;
    for (Fault fault : one_reply_faults) {
        for (int op = 0; op < operation_count; ++op) {
            const auto operation = static_cast<Operation>(op);
            for (Link_kind link : {Link_kind::tcp, Link_kind::serial}) {
                const bool opening =
                    operation == Operation::open_tcp || operation == Operation::open_serial;
                if (!opening || link == usual_link(operation)) {
                    cells.push_back({fault, operation, link});
                }
            }
        }
    }
    return cells;
}

std::string usual_result(Operation operation)
{
    if (operation == Operation::open_tcp || operation == Operation::open_serial) {
        return PROD;
    }
    return matrix[0].cells[static_cast<int>(operation)].result;
}

class Fault_matrix_follow_up : public ::testing::TestWithParam<Follow_up_cell>
{
};

TEST_P(Fault_matrix_follow_up, next_clean_operation_gives_its_usual_result)
{
    const Follow_up_cell& cell = GetParam();
    warm_up(cell.operation);
    const Cell_outcome outcome =
        run_cell(cell.operation, Fault_choice{true, cell.fault}, cell.link, true);
    std::printf("cell %s %s %s: %s in %lld ms, then %s\n",
                fault_name(Fault_choice{true, cell.fault}), operation_name(cell.operation),
                link_name(cell.link), outcome.result.c_str(), outcome.msec,
                outcome.follow_up.c_str());
    EXPECT_EQ(outcome.follow_up, usual_result(cell.operation));
}

std::string follow_up_name(const ::testing::TestParamInfo<Follow_up_cell>& info)
{
    return std::string(fault_name(Fault_choice{true, info.param.fault})) + "__" +
           operation_name(info.param.operation) + "__" + link_name(info.param.link);
}

INSTANTIATE_TEST_SUITE_P(Cells, Fault_matrix_follow_up, ::testing::ValuesIn(follow_up_cells()),
                         follow_up_name);

TEST(Fault_matrix_table, has_a_row_for_every_fault_then_its_variants)
{
    const int faults = static_cast<int>(Fault::hostile_status) + 1;
    ASSERT_GT(row_count, faults);
    for (int i = 1; i <= faults; ++i) {
        EXPECT_TRUE(matrix[i].fault.any && !matrix[i].fault.label);
        EXPECT_EQ(static_cast<int>(matrix[i].fault.fault), i - 1) << fault_name(matrix[i].fault);
    }
    for (int i = faults + 1; i < row_count; ++i) {
        EXPECT_TRUE(matrix[i].fault.label) << i;
    }
}

} // namespace
