// `zelm-sim explore`: runs a scenario under many fault schedules drawn from a seed, reports how often and
// how fast it converged and why it did not, and shrinks each drift reason to a minimal scenario.
#ifndef ZELM_SIM_EXPLORE_H
#define ZELM_SIM_EXPLORE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "explore/explore_shard.h"
#include "scenario/scenario.h"

namespace zsim {

struct ExploreOptions {
    uint64_t runs = 200;
    uint64_t seed = 1;
    unsigned jobs = 0;               // 0: one per core, as many as the memory limit allows
    std::string out;                 // the folder for reproducers; none are made without it
    std::string json;                // "-": standard output, instead of the text report
    std::string scenarioPath;        // as given; empty for the built-in scenario
    std::string scenarioText;        // what the scenario was read from, for a shard to carry
    std::optional<ShardPart> shard;  // run only this share of the runs, and write their tally to `json`
    std::string version;             // of zelm-sim, which a shard result names
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

// Merges the shard results in `files` into the report of the exploration they are shares of, byte for byte the
// report that exploration gives unsharded (with options.out, its reproducers too); the scenario comes from the
// shards. The exit status as for Explore. Throws UsageError for shards that do not make one exploration.
int ExploreMerge(const std::vector<std::string> &files, ExploreOptions options);

}  // namespace zsim

#endif
