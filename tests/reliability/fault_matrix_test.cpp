// Every fault the simulated sensor can inject against every operation that
// reads a reply: the result, an upper bound on the time, and no descriptor left open.

#include "fault_cell.h"
#include "loopback_socket.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <vector>

using vyr_sim::Fault;

namespace {

const int operation_count = 13;

// The bounds below hold on an idle machine; a busy two-core one, or a sanitizer
// build, stretches every step.
const int scheduling_slack_msec = 2500;

struct Expected
{
    const char* result;
    int max_msec;
    const char* or_result = nullptr; // where the timing of a flood decides between two
};

struct Row
{
    Fault_choice fault;
    Expected cells[operation_count];
};

#define FAULT(f)                                                                                   \
    Fault_choice                                                                                   \
    {                                                                                              \
        true, Fault::f                                                                             \
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
const char* const NONE = "ok:726"; // a reply without steps leaves the vector at full size

// clang-format off
// Columns: open_tcp, open_serial, heater, phase_set, phase_get, ip_change,
// read_distance, read_distance_intensity, read_multiecho, read_multiecho_intensity,
// version_info, status_info, reboot.
const Row matrix[] = {
    {Fault_choice{},
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}}},
    {FAULT(no_answer),
     {{DET, 2500}, {DET, 2500}, {"fail", 3000}, {"fail", 2000}, {"fail", 2000}, {"fail", 3500},
      {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}}},
    {FAULT(delay),
     {{DET, 2500}, {DET, 2500}, {"fail", 3000}, {"fail", 2000}, {"fail", 2000}, {"fail", 3500},
      {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {NORESP, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}}},
    {FAULT(trickle),
     {{"ok", 2500}, {"ok", 2500}, {"success", 1500}, {"success", 1500}, {"123", 1500},
      {"success", 2000}, {STEPS, 3000}, {STEPS, 3000}, {STEPS, 3000}, {STEPS, 3000},
      {PROD, 2000}, {STAT, 2000}, {NOERR, 2000}}},
    // The compact address form is answered with a one-character status, which has no checksum.
    {FAULT(status_checksum),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"success", 1500},
      {CHK, 1500}, {CHK, 1500}, {CHK, 2500}, {CHK, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}}},
    // The panels do not check data checksums.
    {FAULT(data_checksum),
     {{CHK, 1000}, {CHK, 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {CHK, 1500}, {CHK, 1500}, {CHK, 2500}, {CHK, 2500}, {RECV, 1500},
      {RECV, 1500}, {NOERR, 1000}}},
    // A wrong echo still proves a sensor is there; the panels take a reply with another
    // echo for another command's and wait on; a scan reply of unknown kind carries no steps.
    {FAULT(wrong_echo),
     {{INV, 2500}, {INV, 2500}, {"fail", 2500}, {"fail", 1500}, {"fail", 1500},
      {"fail", 2500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}}},
    {FAULT(long_line),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"fail", 1000},
      {INV, 1500}, {INV, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}}},
    // A link that fails after the status line ends a panel's reply as its empty line would
    // and cuts a scan short; the address change then cannot reboot the sensor, so the new
    // address is not in effect.
    {FAULT(close_after_status),
     {{DET, 2500}, {DET, 2500}, {"success", 500}, {"success", 500}, {"0", 500},
      {"fail", 2000}, {NORESP, 1500}, {NORESP, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500},
      {RECV, 1500}, {INV, 1500}}},
    {FAULT(short_echo_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {RECV, 1500}, {RECV, 1500}, {RECV, 2500}, {RECV, 2500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}}},
    {FAULT(long_echo_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}}},
    {FAULT(huge_range),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {RECV, 1500}, {RECV, 1500}, {RECV, 2500}, {RECV, 2500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}}},
    {FAULT(leading_ampersand),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000}, {STEPS, 1000},
      {PROD, 500}, {STAT, 500}, {NOERR, 1000}}},
    {FAULT(no_steps),
     {{"ok", 1000}, {"ok", 1000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"success", 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {NONE, 1500}, {PROD, 500},
      {STAT, 500}, {NOERR, 1000}}},
    {FAULT(refused_status),
     {{DET, 2500}, {DET, 2500}, {"fail", 500}, {"fail", 500}, {"fail", 500}, {"fail", 1000},
      {INV, 1500}, {INV, 1500}, {INV, 2500}, {INV, 2500}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}}},
    // Data lines that never end.
    {FAULT(endless_data),
     {{INV, 3000}, {INV, 3000}, {"fail", 2500}, {"fail", 1500}, {"fail", 1500}, {"fail", 3000},
      {INV, 3000}, {INV, 3000}, {INV, 5000}, {INV, 5000}, {RECV, 1500}, {RECV, 1500},
      {INV, 1500}}},
    // Output that goes on after a complete reply, the stop reply included; the reboot after
    // an address change is never confirmed through it.
    {FAULT(talk_on),
     {{INV, 3000}, {INV, 3000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"fail", 2000}, {STEPS, 1000}, {STEPS, 1000}, {INV, 5000}, {INV, 5000}, {PROD, 500},
      {STAT, 500}, {INV, 1500}}},
    // A replayed "RB" reply passes for the confirmation of the second command, unless the
    // drop before that command ends inside a replay the flood had half written; a replayed
    // address reply keeps the reboot from being confirmed.
    {FAULT(repeated_reply),
     {{INV, 3000}, {INV, 3000}, {"success", 500}, {"success", 500}, {"123", 500},
      {"fail", 2000}, {STEPS, 1000}, {STEPS, 1000}, {INV, 5000}, {INV, 5000}, {PROD, 500},
      {STAT, 500}, {NOERR, 1500, INV}}},
};
// clang-format on

#undef FAULT

const int row_count = sizeof matrix / sizeof matrix[0];

class Fault_matrix : public ::testing::TestWithParam<std::tuple<int, int>>
{
};

TEST_P(Fault_matrix, ends_with_the_expected_result_in_time_without_leaking)
{
    const Row& row = matrix[std::get<0>(GetParam())];
    const Operation operation = static_cast<Operation>(std::get<1>(GetParam()));
    const Expected& expected = row.cells[std::get<1>(GetParam())];

    warm_up(operation);
    const int descriptors_before = open_descriptor_count();

    const Cell_outcome outcome = run_cell(operation, row.fault, usual_link(operation));
    std::printf("cell %s %s: %s in %lld ms\n", fault_name(row.fault), operation_name(operation),
                outcome.result.c_str(), outcome.msec);

    if (!expected.or_result || outcome.result != expected.or_result) {
        EXPECT_EQ(outcome.result, expected.result);
    }
    EXPECT_LE(outcome.msec, expected.max_msec + scheduling_slack_msec);
    EXPECT_EQ(open_descriptor_count(), descriptors_before);
}

std::string cell_name(const ::testing::TestParamInfo<std::tuple<int, int>>& info)
{
    return std::string(fault_name(matrix[std::get<0>(info.param)].fault)) + "__" +
           operation_name(static_cast<Operation>(std::get<1>(info.param)));
}

// One ctest test per operation and fault, so ctest -j spreads the slow cells.
INSTANTIATE_TEST_SUITE_P(Cells, Fault_matrix,
                         ::testing::Combine(::testing::Range(0, row_count),
                                            ::testing::Range(0, operation_count)),
                         cell_name);

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

TEST(Fault_matrix_table, has_a_row_for_every_fault)
{
    EXPECT_EQ(row_count, 1 + static_cast<int>(Fault::repeated_reply) + 1);
    for (int i = 1; i < row_count; ++i) {
        EXPECT_EQ(static_cast<int>(matrix[i].fault.fault), i - 1) << fault_name(matrix[i].fault);
    }
}

} // namespace
