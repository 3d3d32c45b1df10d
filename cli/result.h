#ifndef VYR_CLI_RESULT_H
#define VYR_CLI_RESULT_H

// The outcome of one subcommand on one target, and how a run's outcomes are printed:
// aligned "key: value" lines for people, or one JSON document.

#include "exit_code.h"
#include "output.h"

#include <string>
#include <vector>

struct Result
{
    std::string target;
    int exit_code = exit_ok;
    Json fields = Json::object(); // what the subcommand found, in the order to show it
    std::string error;            // the driver's text, or what went wrong
    std::string reason;           // why, where known

    void fail(int code, const std::string& text, const std::string& why = "");
};

// Highest exit code of the results; exit_ok for none.
int worst_exit_code(const std::vector<Result>& results);

// "vyr: TARGET: text (reason)" on standard error.
void print_error(const Result& result);

// Prints the results on standard output (and their errors on standard error) and
// returns the run's exit code. Standard output is left to finish_output().
int print_results(const std::string& command, const std::vector<Result>& results, bool json);

// A value as the text output shows it: strings bare, booleans as yes and no.
std::string field_text(const Json& value);

#endif
