// Entry point of every benchmark executable: Google Benchmark with the summary reporter.
#include <malloc.h>

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
    // Blocks up to 32 MiB come from the heap and freed memory stays with the process. Otherwise
    // glibc maps a large block afresh (and the run pays its page faults) or not, depending on
    // what ran before in the process, and the same benchmark moves by a factor of five.
    (void)mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    (void)mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
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
