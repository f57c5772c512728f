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
    std::string page;  // its timeline page, beside it
    size_t events = 0;
    size_t faults = 0;        // faults kept of the run's
    bool reproduced = false;  // read back and run, it shows the reason
};

// A drift reason of the run without faults: how many items it has there, and its reproducer.
struct BaselineReason {
    ReasonKey key;
    size_t items = 0;
    std::optional<Reproducer> reproducer;
};

// The scenario run once without faults, the measure of every run with faults.
struct Baseline {
    RunOutcome::Status status = RunOutcome::Status::Completed;
    std::string detail;  // how it failed, when it did not complete
    bool converged = false;
    Ms convergedAt = 0;                   // converged: when; otherwise when what the drift compares last changed
    std::vector<BaselineReason> reasons;  // most items first
};

// Runs that ended holding other entries than the baseline, but whose drift is all of reasons the baseline has.
struct BaselineLike {
    size_t runs = 0;
    size_t firstRun = 0;
    std::vector<std::string> firstRunFaults;
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
    std::string scenarioArg;  // as the command line gave it; empty for the built-in scenario
    std::string out;          // --out as given; empty without it
    uint64_t seed = 0;
    size_t runs = 0;
    std::vector<std::string> agents;  // the budget, as names
    std::vector<std::string> kinds;
    uint32_t maxFaults = 0;
    Ms from = 0, to = 0, longest = 0;
    Baseline baseline;
    size_t converged = 0;  // runs that ended holding what the baseline holds, or without drift
    std::optional<Spread> spread;
    size_t notConverged = 0;
    std::vector<ReasonFinding> reasons;  // reasons the baseline does not have, most runs first
    std::optional<BaselineLike> baselineLike;
    std::vector<DefectFinding> defects;
    bool shrinking = false;  // reproducers were asked for (--out)
};

// The baseline of the report from the outcome of the run without faults.
Baseline BaselineOf(const RunOutcome &outcome);
// Whether a run with faults converged, measured against the baseline: it ended without drift, or holding what
// the baseline holds.
bool ConvergedLike(const RunOutcome &run, const RunOutcome &baseline);

void WriteExploreText(const ExploreReport &r, FILE *out, bool colour);
std::string ExploreJson(const ExploreReport &r);
inline constexpr int kExploreJsonSchemaVersion = 2;

}  // namespace zsim

#endif
