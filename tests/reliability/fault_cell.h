#ifndef VYR_TESTS_RELIABILITY_FAULT_CELL_H
#define VYR_TESTS_RELIABILITY_FAULT_CELL_H

// Runs one operation that reads a sensor reply against a simulated sensor with
// one fault injected, and reports what the program made of it.

#include "simulator.h"

#include <string>

enum class Operation {
    open_tcp,
    open_serial,
    heater,
    phase_set,
    phase_get,
    ip_change,
    read_distance,           // single scan
    read_distance_intensity, // single scan
    read_multiecho,          // continuous measurement
    read_multiecho_intensity,
    version_info,
    status_info,
    reboot,
    stop_scans // of a running series, one scan read; only the stop is timed
};

const int operation_count = static_cast<int>(Operation::stop_scans) + 1;

const char* operation_name(Operation operation);

// No fault at all: the baseline row. The fields after fault make variants of it.
struct Fault_choice
{
    bool any = false;
    vyr_sim::Fault fault = vyr_sim::Fault::no_answer;
    const char* label = nullptr; // a variant's name
    int trickle_ms = 0;          // the pace of trickle (0: the cell's usual one)
    int line_interval_ms = 0;    // the pace of chatter and endless_reply (0: the simulator's)
    // A "PP" value the sensor reports from the start; the follow-up restores the usual one.
    const char* param_key = nullptr;
    const char* param_value = nullptr;
    const char* param_usual = nullptr;
};

const char* fault_name(const Fault_choice& fault);

enum class Link_kind { tcp, serial };

const char* link_name(Link_kind link);

// The link an operation runs on when none is chosen: opening names its own.
Link_kind usual_link(Operation operation);

struct Cell_outcome
{
    std::string result;    // "ok", a status word, an error or information text
    long long msec = 0;    // time the operation itself took
    std::string follow_up; // the clean operation after it, when asked for
    std::string detail = {}; // the driver's account of a failure, for the log
};

// The fault hits only the operation's own commands; opening hits every command.
// With follow_up, the fault is then lifted, the faulty reply left to finish
// arriving, and a clean operation run on the same connection: the same one
// again, or for opening a product query. A connection that is legitimately
// gone (the sensor hung up, a reboot went through, a failed open) is opened
// again first.
Cell_outcome run_cell(Operation operation, const Fault_choice& fault, Link_kind link,
                      bool follow_up = false);

// Makes the process-wide state an operation needs (the application object, fonts)
// before descriptors are counted.
void warm_up(Operation operation);

#endif
