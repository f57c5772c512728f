// The report of an exploration: how many runs converged and how fast, the drift reasons of those that did
// not with their reproducers, and the runs that crashed, hung or leaked. Built once, written as text or JSON.
#ifndef ZELM_SIM_EXPLORE_REPORT_H
#define ZELM_SIM_EXPLORE_REPORT_H

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "explore/explore_pool.h"

namespace zsim {

// Convergence times of the runs that converged, from the start of a run; percentiles by nearest rank.
struct Spread {
    Ms min = 0, p50 = 0, p95 = 0, p99 = 0, max = 0;
};
// The spread of `times` (not empty); sorts them.
Spread SpreadOf(std::vector<Ms> &times);

struct Reproducer {
    std::string file;
    size_t events = 0;
    size_t faults = 0;        // faults kept of the run's
    bool reproduced = false;  // read back and run, it shows the reason
};

struct ReasonFinding {
    ReasonKey key;
    size_t runs = 0;  // runs that showed it
    size_t firstRun = 0;
    std::vector<std::string> firstRunFaults;
    std::optional<Reproducer> reproducer;
};

// Runs that would be a defect of the library or the simulator.
enum class Defect { Crashed, Hung, Leaked };
const char *DefectName(Defect d);

struct DefectFinding {
    Defect defect = Defect::Crashed;
    size_t runs = 0;
    size_t firstRun = 0;
    std::string detail;  // of the first: "signal 11", "3 host blocks"
    std::vector<std::string> firstRunFaults;
    std::string file;  // its scenario with its faults, when written
};

struct ExploreReport {
    std::string scenario;
    std::string source;
    uint64_t seed = 0;
    size_t runs = 0;
    std::vector<std::string> agents;  // the budget, as names
    std::vector<std::string> kinds;
    uint32_t maxFaults = 0;
    Ms from = 0, to = 0, longest = 0;
    size_t converged = 0;
    std::optional<Spread> spread;
    size_t notConverged = 0;
    std::vector<ReasonFinding> reasons;  // most runs first
    std::vector<DefectFinding> defects;
    bool shrinking = false;  // reproducers were asked for (--out)
};

void WriteExploreText(const ExploreReport &r, FILE *out, bool colour);
std::string ExploreJson(const ExploreReport &r);
inline constexpr int kExploreJsonSchemaVersion = 1;

}  // namespace zsim

#endif
