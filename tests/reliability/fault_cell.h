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
    reboot
};

const char* operation_name(Operation operation);

// No fault at all: the baseline row.
struct Fault_choice
{
    bool any = false;
    vyr_sim::Fault fault = vyr_sim::Fault::no_answer;
};

const char* fault_name(const Fault_choice& fault);

struct Cell_outcome
{
    std::string result; // "ok", a status word, an error or information text
    long long msec = 0; // time the operation itself took
};

// The fault hits only the operation's own commands; opening hits every command.
Cell_outcome run_cell(Operation operation, const Fault_choice& fault);

// Makes the process-wide state an operation needs (the application object, fonts)
// before descriptors are counted.
void warm_up(Operation operation);

// Descriptors open in this process now.
int open_descriptor_count();

#endif
