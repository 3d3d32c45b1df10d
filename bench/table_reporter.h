#ifndef VYR_BENCH_TABLE_REPORTER_H
#define VYR_BENCH_TABLE_REPORTER_H

#include <benchmark/benchmark.h>
#include <map>
#include <string>

// Keeps the median of each benchmark's repetitions and prints them at the end as
// Markdown tables, each measurement beside its floor from the same run.
class Table_reporter : public benchmark::BenchmarkReporter
{
public:
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    struct Result
    {
        double real_us = 0;
        double cpu_us = 0;
        bool from_median = false;
        std::map<std::string, double> counters;
    };
    const Result* find(const std::string& name) const;
    void print_scans() const;
    void print_stream() const;
    void print_round_trips() const;

    std::map<std::string, Result> results_; // "function/args"
};

#endif
