// A console reporter that also prints, after the run, a markdown summary of every series.
#ifndef ZELM_BENCH_SUMMARY_H
#define ZELM_BENCH_SUMMARY_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zelm_bench {

/*
 * Benchmarks are named "family/op/impl/size". A run that sets the counter
 * "items" (work items per iteration) is a timed series: the summary gives the
 * CPU time per item, the ratio of each implementation to the family's
 * baseline implementation "boost" where there is one, and each series' growth
 * from its smallest to its largest size. A run without "items" is a report:
 * its counters are printed as they are. With repetitions, the median is used.
 */
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    explicit SummaryReporter(std::string copyPath) : copyPath_(std::move(copyPath)) {}
    void ReportRuns(const std::vector<Run> &runs) override;
    void Finalize() override;

private:
    struct Series {
        std::string family, op, impl;
        long long size = 0;
        std::vector<double> nsPerItem;
        std::map<std::string, std::vector<double>> counters;
    };
    std::string Render() const;

    std::string copyPath_;
    std::vector<Series> series_;  // in the order the benchmarks ran
};

}  // namespace zelm_bench

#endif
