// `zelm-sim explore`: runs a scenario under many fault schedules drawn from a seed, reports how often and
// how fast it converged and why it did not, and shrinks each drift reason to a minimal scenario.
#ifndef ZELM_SIM_EXPLORE_H
#define ZELM_SIM_EXPLORE_H

#include <cstdint>
#include <string>

#include "scenario/scenario.h"

namespace zsim {

struct ExploreOptions {
    uint64_t runs = 200;
    uint64_t seed = 1;
    unsigned jobs = 0;         // 0: one per core, as many as the memory limit allows
    std::string out;           // the folder for reproducers; none are made without it
    std::string json;          // "-": standard output, instead of the text report
    std::string scenarioPath;  // as given; empty for the built-in scenario
    bool quiet = false;
    bool expectConverged = false;
    ReadLimits limits;
};

inline constexpr uint64_t kMaxRuns = 1000000;
inline constexpr unsigned kMaxJobs = 256;

// Explores and writes the report; the exit status: 0, or 1 with expectConverged when the run without faults or
// a run did not converge, or a run showed a defect. Throws UsageError for options or outputs that cannot be
// followed, before anything runs.
int Explore(const Scenario &sc, const ExploreOptions &options);

}  // namespace zsim

#endif
