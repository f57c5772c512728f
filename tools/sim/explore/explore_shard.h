// Explore over many machines: a shard runs its share of the runs and writes what they came to as JSON; the
// merge reads the shards back, checks that they belong together, and adds them up into one exploration.
#ifndef ZELM_SIM_EXPLORE_SHARD_H
#define ZELM_SIM_EXPLORE_SHARD_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "explore/explore_report.h"

namespace zsim {

// What runs came to, all a report needs of them before their faults are told and their reasons shrunk. Runs add
// up in any order and any grouping: counts add, and the first run of a finding is the least of them.
struct Tally {
    uint64_t runs = 0;
    size_t converged = 0;
    std::map<Ms, size_t> convergedAt;  // a convergence time, and how many runs converged then
    size_t notConverged = 0;
    std::map<size_t, ReasonFinding> reasons;  // by ReasonKey::Index
    std::optional<BaselineLike> baselineLike;
    std::map<Defect, DefectFinding> defects;

    void Add(const Tally &other);
};

// Shard `index` of `count` holds the runs i (from 0) with i mod count + 1 == index.
struct ShardPart {
    static constexpr uint64_t kMaxCount = 1000000;
    uint64_t index = 1;
    uint64_t count = 1;
    // 1 <= index <= count <= kMaxCount.
    bool Possible() const { return count != 0 && count <= kMaxCount && index != 0 && index <= count; }
    // How many of `runs` runs it holds, and the k-th of them.
    uint64_t Runs(uint64_t runs) const { return index - 1 < runs ? (runs - index + count) / count : 0; }
    uint64_t Run(uint64_t k) const { return index - 1 + k * count; }
};
// "2/4"; throws UsageError saying what is wrong.
ShardPart ParseShardPart(const std::string &text);

// A shard result: which share of which exploration it ran, the scenario's text (so that the merge needs no file
// to shrink the findings), the run without faults and the tally of the shard's runs.
struct Shard {
    std::string file;     // read from; empty when made here
    std::string version;  // of the zelm-sim that ran it
    ShardPart part;
    uint64_t seed = 0;
    uint64_t runs = 0;
    std::string scenarioText;
    std::string source;  // the scenario as the report names it
    std::string given;   // as the command line gave it; empty for the built-in scenario
    RunOutcome baseline;
    Tally tally;
};

// The digest by which shards of one scenario know each other: FNV-1a, 64 bits, of its text, in hex.
std::string ScenarioDigest(std::string_view text);

// The shard as JSON; `faultsOf(run)` tells a run's faults, for the people who read the file.
std::string ShardJson(const Shard &s, const std::function<std::vector<std::string>(size_t)> &faultsOf);
// Reads a shard result of at most `maxBytes`; throws UsageError naming the file and what is wrong with it.
Shard ReadShard(const std::string &path, uint64_t maxBytes);
// The shards as one: they must come from this version of zelm-sim and one exploration (the same scenario,
// seed, runs and shard count), each shard once and none missing; throws UsageError naming them otherwise.
Shard MergeShards(const std::vector<Shard> &shards, const std::string &version);

}  // namespace zsim

#endif
