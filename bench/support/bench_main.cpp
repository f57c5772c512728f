// Entry point of every benchmark executable: Google Benchmark with the summary reporter.
#include <cstring>
#include <string>

#include "bench_summary.h"

// Takes "--summary_out=<path>" out of the arguments: the summary is also written there.
static std::string TakeSummaryPath(int *argc, char **argv)
{
    static const char kFlag[] = "--summary_out=";
    std::string path;
    int kept = 0;
    for (int i = 0; i < *argc; ++i) {
        if (std::strncmp(argv[i], kFlag, sizeof(kFlag) - 1) == 0) {
            path = argv[i] + sizeof(kFlag) - 1;
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    return path;
}

int main(int argc, char **argv)
{
    const std::string summaryPath = TakeSummaryPath(&argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    zelm_bench::SummaryReporter reporter(summaryPath);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
